// tavrix-windowbench [FRAMES] [--dir DIR]
//
// The window at scale, on the offscreen platform: a BLF log of FRAMES frames
// (default 16 500 000) is loaded by a click, scrolled to its end and back,
// translated, converted whole, replaced by another file and cleared. For each
// step: how long it took, the longest time the window's event loop was kept
// from running meanwhile (what a user feels as a freeze), and the process's
// resident memory after it.

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "corpus.h"
#include "datahub.h"
#include "datamodel.h"
#include "framestore.h"
#include "modaldriver.h"
#include "processmemory.h"
#include "tavrix.h"

namespace {

FrameStore *store = nullptr;

// The longest gap between two turns of the event loop since the last reset.
class StallMeter final : public QObject
{
public:
    StallMeter()
    {
        connect(&tick, &QTimer::timeout, this, [this] {
            const qint64 gap = clock.restart();
            if (gap > 50 && getenv("STALLS"))
                std::fprintf(stderr, "stall %lld ms at rows %d\n", gap, store ? store->size() : -1);
            longest = std::max(longest, gap);
        });
        tick.start(2);
        clock.start();
    }
    void reset()
    {
        QCoreApplication::processEvents();
        longest = 0;
        clock.restart();
    }
    qint64 longestMs() const { return longest; }

private:
    QTimer tick;
    QElapsedTimer clock;
    qint64 longest = 0;
};

void row(const char *step, double seconds, const StallMeter &stall)
{
    std::printf("%-40s %9.3f %10lld %9.0f %9.0f\n", step, seconds, stall.longestMs(),
                double(ProcessMemory::resident()) / 1e6,
                store ? double(store->memoryUsed()) / 1e6 : 0.0);
    std::fflush(stdout);
}

// Runs the event loop until done() holds, or a minute passed.
template<typename Condition>
double runUntil(Condition done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return double(clock.nsecsElapsed()) / 1e9;
}

void clickEntry(QListView *list, int row)
{
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    registerFrameMetaTypes();
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const QStringList arguments = QCoreApplication::arguments();
    qint64 frames = 16500000;
    QTemporaryDir temporary;
    QString dir = temporary.path();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--dir"))
            dir = arguments.value(++i);
        else
            frames = arguments.at(i).toLongLong();
    }
    QDir().mkpath(dir);
    const QString big = QDir(dir).filePath(QStringLiteral("window-scale.blf"));
    const QString small = QDir(dir).filePath(QStringLiteral("window-small.blf"));
    const QString out = QDir(dir).filePath(QStringLiteral("window-out.blf"));
    std::fprintf(stderr, "writing %lld frames\n", frames);
    if (!Corpus::writeStreamed(frames, ExportFormat::Blf, big)
        || !Corpus::writeStreamed(1000, ExportFormat::Blf, small)) {
        std::fprintf(stderr, "cannot write the logs into %s\n", qPrintable(dir));
        return 1;
    }

    Tavrix window;
    window.show();
    auto *list = window.findChild<QListView *>(QStringLiteral("listView"));
    auto *table = window.findChild<QTableView *>(QStringLiteral("tableView"));
    auto *addFile = window.findChild<QPushButton *>(QStringLiteral("addFileButton"));
    auto *clear = window.findChild<QPushButton *>(QStringLiteral("clearButton"));
    auto *translate = window.findChild<QPushButton *>(QStringLiteral("translateButton"));
    auto *convert = window.findChild<QPushButton *>(QStringLiteral("pushButton_2"));
    auto *hub = window.findChild<DataHub *>();
    if (!list || !table || !addFile || !clear || !translate || !convert || !hub)
        return 1;
    auto files = ModalDriver::expect<QFileDialog>(
        [&](QFileDialog *dialog) { ModalDriver::acceptFileDialog(dialog, {big, small}); });
    addFile->click();

    StallMeter stall;
    store = qobject_cast<DataModel *>(table->model())->store();
    std::printf("%-40s %9s %10s %9s %9s\n", "step", "seconds", "stall ms", "RSS MB",
                "store MB");
    row("window open", 0, stall);

    int finished = 0;
    QObject::connect(hub, &DataHub::parsingFinished, &window, [&finished] { ++finished; });
    stall.reset();
    clickEntry(list, 0);
    double seconds = runUntil([&] { return finished == 1; });
    std::printf("(%d rows)\n", table->model()->rowCount());
    row("click: load the log", seconds, stall);

    stall.reset();
    QElapsedTimer clock;
    clock.start();
    table->scrollToBottom();
    runUntil([&] { return table->verticalScrollBar()->value()
                          == table->verticalScrollBar()->maximum(); });
    QCoreApplication::processEvents();
    row("scroll to the end", double(clock.nsecsElapsed()) / 1e9, stall);

    stall.reset();
    clock.restart();
    table->scrollToTop();
    QCoreApplication::processEvents();
    row("scroll back to the start", double(clock.nsecsElapsed()) / 1e9, stall);

    stall.reset();
    clock.restart();
    translate->click();
    QCoreApplication::processEvents();
    row("Translate", double(clock.nsecsElapsed()) / 1e9, stall);

    stall.reset();
    clock.restart();
    bool boxShown = false;
    auto save = ModalDriver::expect<QFileDialog>(
        [&](QFileDialog *dialog) { ModalDriver::acceptFileDialog(dialog, {out}); });
    auto box = ModalDriver::expect<QMessageBox>(
        [&](QMessageBox *shown) {
            boxShown = true;
            shown->button(QMessageBox::Ok)->click();
        },
        600000);
    convert->click();
    seconds = runUntil([&] { return boxShown; });
    row("Conversion of every frame to BLF", seconds, stall);
    QFile::remove(out);

    stall.reset();
    clickEntry(list, 1);
    seconds = runUntil([&] { return finished == 2; });
    row("click another file", seconds, stall);

    stall.reset();
    clock.restart();
    clear->click();
    QCoreApplication::processEvents();
    row("Clear", double(clock.nsecsElapsed()) / 1e9, stall);
    QFile::remove(big);
    QFile::remove(small);
    return 0;
}
