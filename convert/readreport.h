#pragma once

#include <QObject>
#include <QString>

class DataHub;

// What the reader of one log told the hub - how far it came, whether it read
// to the end, whether the file ended early - and, for a log that gave no
// frames, why, in words for the user. The window's status bar and
// tavrix-convert give the same reasons from here.
class ReadReport final : public QObject
{
    Q_OBJECT

public:
    enum class Problem {
        None,           // the log gave frames
        NotFound,       // no such file
        Folder,         // a folder, not a file
        NoPermission,   // the file may not be read
        Unsupported,    // no reader for its suffix
        NotBlf,         // a .blf file that is no BLF log
        NoFrames,       // read to its end, without a frame
        OtherCsvLayout, // the same, for a CSV log in another layout
        Unreadable      // anything else that kept the reader out
    };

    // Listens to hub from now on, until destroyed.
    explicit ReadReport(DataHub *hub, QObject *parent = nullptr);

    // Forgets what was heard, before the next file.
    void reset();

    // The reader read the file to its end, or to where it ended early.
    bool succeeded() const { return success; }
    bool endedEarly() const { return early; }
    // The reader's last percentage; -1 before the first.
    int percent() const { return lastPercent; }

    // Why path gave no frames when frames is 0, from what was heard and what
    // the file is; None when it gave some.
    Problem problem(const QString &path, qint64 frames) const;
    // The problem in words: through the installed translator, or the English
    // source text (tavrix-convert's messages).
    static QString describe(Problem problem, bool translated);

private:
    bool success = false;
    bool early = false;
    int lastPercent = -1;
    bool measured = false; // the reader reports its share of the file
};
