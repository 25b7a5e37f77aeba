#include "datamodel.h"

#include <algorithm>

#include "framecapacity.h"
#include "framevector.h"

namespace {

constexpr int ColumnCount = 10;

enum Column {
    NumberColumn,
    TimeColumn,
    DirectionColumn,
    NameColumn,
    IdColumn,
    ProtocolColumn,
    FormatColumn,
    TypeColumn,
    LengthColumn,
    DataColumn
};

constexpr char hexDigits[] = "0123456789ABCDEF";

QVariant labelAt(const QStringList &labels, int index)
{
    if (index < 0 || index >= labels.size())
        return {};
    return labels.at(index);
}

// Upper-case hexadecimal without prefix or leading zeros.
QString identifierText(uint32_t identifier)
{
    char digits[8];
    int first = sizeof digits;
    do {
        digits[--first] = hexDigits[identifier & 0xF];
        identifier >>= 4;
    } while (identifier != 0);
    return QString::fromLatin1(digits + first, int(sizeof digits) - first);
}

// "0A FF 00": two digits a byte, one blank between bytes.
QString dataText(const Vemi_CANFD_Data &frame)
{
    const int length = std::min<int>(frame.length, Vemi_CANFD_Data::MaxDataLength);
    if (length == 0)
        return QString();
    QString text(length * 3 - 1, QLatin1Char(' '));
    QChar *out = text.data();
    for (int i = 0; i < length; ++i) {
        out[i * 3] = QLatin1Char(hexDigits[frame.data[i] >> 4]);
        out[i * 3 + 1] = QLatin1Char(hexDigits[frame.data[i] & 0xF]);
    }
    return text;
}

QString timeText(const Vemi_CANFD_Data &frame)
{
    const int size = int(qstrnlen(frame.timeText, Vemi_CANFD_Data::TimeTextSize));
    return QString::fromUtf8(frame.timeText, size);
}

} // namespace

DataModel::DataModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    loadLabels();
}

DataModel::~DataModel() = default;

int DataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : frameList.size();
}

int DataModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const int row = index.row();
    if (row < 0 || row >= frameList.size() || index.column() >= ColumnCount)
        return {};

    const Vemi_CANFD_Data &frame = frameList.at(row);
    switch (index.column()) {
    case NumberColumn:
        return row;
    case TimeColumn:
        return timeText(frame);
    case DirectionColumn:
        return labelAt(directionLabels, (frame.flags >> 6) & 1);
    case NameColumn:
        return QStringLiteral(" ");
    case IdColumn:
        return identifierText(frame.identifier());
    case ProtocolColumn:
        return labelAt(protocolLabels, frame.protocol());
    case FormatColumn:
        return labelAt(frameFormatLabels, frame.isRemote() ? 1 : 0);
    case TypeColumn:
        return labelAt(frameTypeLabels, frame.isExtended() ? 1 : 0);
    case LengthColumn:
        return int(frame.length);
    case DataColumn:
        return dataText(frame);
    default:
        return {};
    }
}

QVariant DataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return labelAt(headerLabels, section);
}

void DataModel::appendFrames(const QVector<Vemi_CANFD_Data> &data)
{
    if (data.isEmpty())
        return;
    // A full table keeps what it shows; what does not fit is dropped.
    const int capacity = FrameCapacity::limit();
    const int count = std::min(data.size(), std::max(capacity - frameList.size(), 0));
    if (count > 0) {
        const int first = frameList.size();
        beginInsertRows(QModelIndex(), first, first + count - 1);
        // The first batch is taken as it is (the BLF reader's one batch holds
        // the whole file); later ones grow the vector without holding it twice.
        FrameVector::append(frameList, count == data.size() ? data : data.mid(0, count));
        endInsertRows();
    }
    if (frameList.size() >= capacity && !capacityReported) {
        capacityReported = true;
        emit capacityReached(frameList.size());
    }
}

void DataModel::clearFrames()
{
    beginResetModel();
    // clear() would keep the block, which for a large file is hundreds of
    // megabytes held until the next file's first batch arrives.
    frameList = QVector<Vemi_CANFD_Data>();
    capacityReported = false;
    endResetModel();
}

void DataModel::retranslate()
{
    beginResetModel();
    loadLabels();
    endResetModel();
}

const QVector<Vemi_CANFD_Data> &DataModel::frames() const
{
    return frameList;
}

void DataModel::loadLabels()
{
    headerLabels = QStringList{tr("No."), tr("Time"), tr("Dir"), tr("Name"), tr("ID(HEX)"),
                               tr("Pro"), tr("Format"), tr("Type"), tr("Len"), tr("Data")};
    directionLabels = QStringList{tr("rec"), tr("send")};
    frameTypeLabels = QStringList{tr("Standard frame"), tr("Extended frame")};
    frameFormatLabels = QStringList{tr("Data frame"), tr("Remote frame")};
    protocolLabels = QStringList{tr("CAN"), tr(" "), tr("CANFD"), tr("CANFD BRS")};
}
