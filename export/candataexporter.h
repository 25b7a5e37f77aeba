#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QVector>

#include "exportformat.h"
#include "framesnapshot.h"
#include "framestream.h"
#include "vemi_canfd_data.h"

struct ExportContext;
class MessageDatabase;

// Writes a vector of frames to one output file, optionally re-ordered by CAN
// identifier. Runs on a worker thread; keeps no state between calls but why
// the last one failed.
class CanDataExporter final : public QObject
{
    Q_OBJECT

public:
    // Why an export failed, for the user's messages.
    enum class Failure : quint8 {
        None,          // it succeeded
        NoFrames,      // nothing to write; no file was touched
        FolderMissing, // the output's folder does not exist
        NoPermission,  // the folder or the file may not be written
        NoSpace,       // the disk or the quota is full
        FileRemoved,   // the file, or its folder, went while it was written
        WriteFailed    // anything else; lastSystemError() says what
    };

    explicit CanDataExporter(QObject *parent = nullptr);

    // Of the last call on this object, read on the thread that made it.
    Failure lastFailure() const { return failure; }
    // The system's words for the error behind the last failure; empty when
    // there was none.
    QString lastSystemError() const { return systemError; }
    // The reason in words: through the installed translator, or the English
    // source text (tavrix-convert's messages).
    static QString failureText(Failure failure, const QString &systemError, bool translated);

    // For the exports that follow, set while none runs: a CSV export takes
    // the Name column from database, and with a signal table other than None
    // writes the frames' decoded signals instead of the frames. Without a
    // database (the default) every format is written as before.
    void setDatabase(std::shared_ptr<const MessageDatabase> database,
                     SignalTable table = SignalTable::None);

    // frames is the call's own copy: sorting never re-orders the caller's
    // vector. outputPath is used as it is. False for empty input, a file that
    // cannot be opened, a write that failed or a file removed while it was
    // written; an unknown format code leaves an empty file and succeeds.
    bool exportData(QVector<Vemi_CANFD_Data> frames, ExportFormat format, SortOrder order,
                    const QString &outputPath);
    // The same for the frames of a store's snapshot, which sorting leaves as
    // they are too.
    bool exportSnapshot(const FrameSnapshot &frames, ExportFormat format, SortOrder order,
                        const QString &outputPath);
    // Writes the frames of stream in the order they come, as exportData
    // writes the same frames unsorted, without holding them. The time origin
    // is origin when given, else the first frame's time; a frame before it
    // voids the export (stream.isOutOfOrder()). Without frames it returns
    // false and touches no file.
    bool exportStream(FrameStream &stream, ExportFormat format, const QString &outputPath,
                      const uint64_t *origin = nullptr);

signals:
    // After each frame that produced output: frames counted so far * 100 / total.
    void progressUpdated(int percent);

private:
    bool writeFile(ExportContext &context, ExportFormat format, const QString &outputPath);
    bool write(ExportContext &context, ExportFormat format, const QString &outputPath,
               bool &opened);
    // Works out why the file at outputPath could not be written; error is
    // the errno of the call that failed.
    void noteFailure(const QString &outputPath, bool opened, int error);

    Failure failure = Failure::None;
    QString systemError;
    std::shared_ptr<const MessageDatabase> database;
    SignalTable signalTable = SignalTable::None;
};
