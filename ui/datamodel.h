#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include "framefilter.h"
#include "framesnapshot.h"
#include "vemi_canfd_data.h"

class FrameStore;
class MessageDatabase;

// The read-only frame table: a view over a frame store, one row per frame,
// ten text columns computed on request. Frames arrive in batches while a file
// is still being read.
class DataModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
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
        DataColumn,
        ColumnCount
    };

    // With a store of its own.
    explicit DataModel(QObject *parent = nullptr);
    // A view over store, which outlives the model.
    explicit DataModel(FrameStore *store, QObject *parent = nullptr);
    ~DataModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Appends a batch to the store, as new rows at the end; an empty batch
    // changes nothing.
    void appendFrames(const QVector<Vemi_CANFD_Data> &data);
    // Empties the store; resets the model even when it is empty already.
    void clearFrames();
    // Rebuilds every label with the translator now installed.
    void retranslate();
    // Shows at once the frames the store took since the last rows were
    // inserted; otherwise they come at the next turn of the event loop.
    void showPendingRows();

    // The frame of a row; row below rowCount().
    Vemi_CANFD_Data frameAt(int row) const;
    // The Name column shows the message names of database; without one
    // (null) it is a blank in every row.
    void setDatabase(std::shared_ptr<const MessageDatabase> database);
    // Shows only the store's frames at rows (rising), what filter selected
    // of the first scanned frames; frames that come later, also after the
    // store is emptied for the next file, are shown when filter passes them.
    // A model reset; the No. cells and the row header keep the store's row
    // numbers.
    void setSelection(const FrameFilter &filter, std::vector<uint32_t> rows, int scanned);
    // Every frame again: a model reset, and nothing at all when none was set.
    void clearSelection();
    bool isFiltered() const { return selection != nullptr; }
    // The store's row of the frame at row; -1 outside the table.
    int sourceRow(int row) const;
    // The frames of the store the rows were chosen from.
    int scannedRows() const { return isFiltered() ? scanned : shownRows; }
    // Counts the emptyings of the store: a selection made from a snapshot
    // older than the last one belongs to another file.
    quint64 generation() const { return clearings; }
    // The frames the table shows, without copying one.
    FrameSnapshot shownFrames() const;

    // A copy of every frame shown, as full records.
    QVector<Vemi_CANFD_Data> frames() const;
    FrameStore *store() const { return frameStore; }

signals:
    // Rows were shown or hidden, or frames arrived: "M of N" is out of date.
    void countsChanged();
    // The table holds as many frames as it can; the rest of the file is not
    // shown. Once per file, at the batch that filled it.
    void capacityReached(int shown);

private:
    void follow(FrameStore *store);
    void loadLabels();
    // Filters the frames the store took since the last call.
    void selectArrived(int held);

    QStringList headerLabels;
    FrameStore *frameStore;
    int shownRows = 0;
    // The rows shown under a filter: positions into the store, 4 bytes a
    // match. Shared with the snapshots of a conversion, so copied before a
    // change while one holds it.
    std::shared_ptr<std::vector<uint32_t>> selection;
    FrameFilter rowFilter;
    int scanned = 0;
    quint64 clearings = 0;
    QTimer pendingTimer;
    QStringList directionLabels;   // by bit 6 of flags
    QStringList frameTypeLabels;   // by the extended bit
    QStringList frameFormatLabels; // by the remote bit
    QStringList protocolLabels;    // by the protocol sub-field
    std::shared_ptr<const MessageDatabase> names;
};
