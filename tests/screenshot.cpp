// Photographs the real main window with a log shown, in both languages.
// Usage: tavrix_screenshot <english.png> <chinese.png> <log> [more logs...]
// Every log is added through the window's own file dialog and the first one is
// clicked. Meant for the offscreen platform; needs a font with Chinese glyphs.
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "datahub.h"
#include "modaldriver.h"
#include "tavrix.h"

namespace {

constexpr int ParseTimeoutMs = 60000;

int fail(const char *what)
{
    std::fprintf(stderr, "tavrix_screenshot: %s\n", what);
    return 1;
}

// Waits for the toolkit's own language change to reach the window.
bool waitForTitle(const QWidget &window, const QString &title)
{
    QElapsedTimer clock;
    clock.start();
    while (window.windowTitle() != title && clock.elapsed() < ParseTimeoutMs)
        QTest::qWait(10);
    return window.windowTitle() == title;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    registerFrameMetaTypes();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4)
        return fail("usage: tavrix_screenshot <english.png> <chinese.png> <log> [more logs...]");
    QStringList logs;
    for (const QString &log : arguments.mid(3))
        logs << QFileInfo(log).absoluteFilePath();

    Tavrix window;
    // Wider than the start size, as a user would make it, so that every
    // column shows in the picture.
    window.resize(1500, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return fail("the window was not shown");
    auto *addFile = window.findChild<QPushButton *>(QStringLiteral("addFileButton"));
    auto *translate = window.findChild<QPushButton *>(QStringLiteral("translateButton"));
    auto *list = window.findChild<QListView *>(QStringLiteral("listView"));
    auto *folder = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    auto *hub = window.findChild<DataHub *>();
    if (!addFile || !translate || !list || !folder || !hub)
        return fail("the window lacks a widget this tool uses");

    auto dialog = ModalDriver::expect<QFileDialog>(
        [&logs](QFileDialog *shown) { ModalDriver::acceptFileDialog(shown, logs); });
    addFile->click();
    if (!dialog->handled() || list->model()->rowCount() != logs.size())
        return fail("the logs could not be added");

    QEventLoop parsing;
    QObject::connect(hub, &DataHub::parsingFinished, &parsing, &QEventLoop::quit);
    QTimer::singleShot(ParseTimeoutMs, &parsing, &QEventLoop::quit);
    const QRect first = list->visualRect(list->model()->index(0, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first.center());
    parsing.exec();
    folder->setText(QFileInfo(logs.first()).absolutePath());

    // The start language depends on Config.ini beside this tool: take both.
    const QString englishTitle = QStringLiteral("Kelvane");
    const bool startsEnglish = window.windowTitle() == englishTitle;
    const QString &firstShot = arguments.at(startsEnglish ? 1 : 2);
    const QString &secondShot = arguments.at(startsEnglish ? 2 : 1);
    if (!window.grab().save(firstShot))
        return fail("cannot write the first picture");
    translate->click();
    if (!waitForTitle(window, startsEnglish ? QStringLiteral("Kelvane-ZH") : englishTitle))
        return fail("the language did not change");
    if (!window.grab().save(secondShot))
        return fail("cannot write the second picture");
    return 0;
}
