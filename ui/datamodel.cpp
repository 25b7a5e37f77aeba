#include "datamodel.h"

#include <algorithm>

#include "framestore.h"
#include "messagedatabase.h"

namespace {

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

// The whole payload in rows of 16 bytes, for the Data cell's tooltip: the
// cell itself is cut at the column's edge.
QString payloadTip(const Vemi_CANFD_Data &frame)
{
    constexpr int RowWidth = 16 * 3;
    QString text = dataText(frame);
    for (int at = RowWidth - 1; at < text.size(); at += RowWidth)
        text[at] = QLatin1Char('\n');
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
    , frameStore(new FrameStore(this))
{
    follow(frameStore);
}

DataModel::DataModel(FrameStore *store, QObject *parent)
    : QAbstractTableModel(parent)
    , frameStore(store)
{
    follow(store);
}

void DataModel::follow(FrameStore *store)
{
    loadLabels();
    // Rows come and go with the store's frames, whoever appends or clears.
    // Frames that others append are shown at the next turn of the event
    // loop, all that came meanwhile at once: a view takes time for every
    // insertion, whatever its size, and a reader delivers many batches at a time.
    pendingTimer.setSingleShot(true);
    pendingTimer.setInterval(0);
    connect(&pendingTimer, &QTimer::timeout, this, &DataModel::showPendingRows);
    connect(store, &FrameStore::framesAppended, &pendingTimer, qOverload<>(&QTimer::start));
    connect(store, &FrameStore::aboutToBeCleared, this, [this] {
        pendingTimer.stop();
        beginResetModel();
    });
    connect(store, &FrameStore::cleared, this, [this] {
        shownRows = 0;
        ++clearings;
        if (selection) {
            // The filter stays set for the next file; its rows are to come.
            selection = std::make_shared<std::vector<uint32_t>>();
            scanned = 0;
        }
        endResetModel();
        emit countsChanged();
    });
    connect(store, &FrameStore::full, this, [this](int held) {
        showPendingRows();
        emit capacityReached(held);
    });
}

void DataModel::showPendingRows()
{
    pendingTimer.stop();
    const int held = frameStore->size();
    if (selection) {
        selectArrived(held);
        return;
    }
    if (held <= shownRows)
        return;
    beginInsertRows(QModelIndex(), shownRows, held - 1);
    shownRows = held;
    endInsertRows();
    emit countsChanged();
}

void DataModel::selectArrived(int held)
{
    if (held <= scanned)
        return;
    // Arriving rows are filtered here, a turn's worth at a time: the reader
    // delivers far more slowly than the filter passes frames.
    const std::vector<uint32_t> found = rowFilter.select(frameStore->snapshot(), nullptr, scanned);
    scanned = held;
    if (!found.empty()) {
        if (selection.use_count() > 1)
            selection = std::make_shared<std::vector<uint32_t>>(*selection);
        beginInsertRows(QModelIndex(), shownRows, shownRows + int(found.size()) - 1);
        selection->insert(selection->end(), found.begin(), found.end());
        shownRows = int(selection->size());
        endInsertRows();
    }
    emit countsChanged();
}

void DataModel::setSelection(const FrameFilter &filter, std::vector<uint32_t> rows, int upTo)
{
    pendingTimer.stop();
    beginResetModel();
    rowFilter = filter;
    selection = std::make_shared<std::vector<uint32_t>>(std::move(rows));
    scanned = upTo;
    shownRows = int(selection->size());
    endResetModel();
    // What the store took meanwhile.
    selectArrived(frameStore->size());
    emit countsChanged();
}

void DataModel::clearSelection()
{
    if (!selection)
        return;
    beginResetModel();
    selection.reset();
    rowFilter = FrameFilter();
    scanned = 0;
    shownRows = frameStore->size();
    endResetModel();
    emit countsChanged();
}

int DataModel::sourceRow(int row) const
{
    if (row < 0 || row >= shownRows)
        return -1;
    return selection ? int((*selection)[std::size_t(row)]) : row;
}

FrameSnapshot DataModel::shownFrames() const
{
    const FrameSnapshot all = frameStore->snapshot();
    if (!selection)
        return all;
    // The store may hold frames the selection has not looked at yet.
    return all.selected(selection);
}

DataModel::~DataModel() = default;

int DataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shownRows;
}

int DataModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    const bool tip = role == Qt::ToolTipRole && index.column() == DataColumn;
    if (!index.isValid() || (role != Qt::DisplayRole && !tip))
        return {};
    const int row = index.row();
    if (row < 0 || row >= shownRows || index.column() >= ColumnCount)
        return {};

    const int source = sourceRow(row);
    const Vemi_CANFD_Data frame = frameStore->at(source);
    if (tip)
        return frame.length > 0 ? QVariant(payloadTip(frame)) : QVariant();
    switch (index.column()) {
    case NumberColumn:
        return source;
    case TimeColumn:
        return timeText(frame);
    case DirectionColumn:
        return labelAt(directionLabels, frame.isSent() ? 1 : 0);
    case NameColumn: {
        // One hash lookup per cell drawn: nothing is kept per frame.
        const QString name = names ? names->name(frame) : QString();
        return name.isEmpty() ? QStringLiteral(" ") : name;
    }
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
    if (role != Qt::DisplayRole)
        return {};
    // Filtered rows say where they are in the log; unfiltered ones need not.
    if (orientation == Qt::Vertical)
        return selection && sourceRow(section) >= 0 ? QVariant(sourceRow(section)) : QVariant();
    return labelAt(headerLabels, section);
}

void DataModel::appendFrames(const QVector<Vemi_CANFD_Data> &data)
{
    // A full store keeps what it holds; what does not fit is dropped. The
    // rows are there when the call returns.
    frameStore->append(data);
    showPendingRows();
}

void DataModel::clearFrames()
{
    frameStore->clear();
}

void DataModel::retranslate()
{
    beginResetModel();
    loadLabels();
    endResetModel();
}

Vemi_CANFD_Data DataModel::frameAt(int row) const
{
    return frameStore->at(sourceRow(row));
}

void DataModel::setDatabase(std::shared_ptr<const MessageDatabase> database)
{
    names = std::move(database);
    if (shownRows > 0)
        emit dataChanged(index(0, NameColumn), index(shownRows - 1, NameColumn));
}

QVector<Vemi_CANFD_Data> DataModel::frames() const
{
    return frameStore->snapshot().toVector();
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
