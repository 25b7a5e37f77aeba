#include <algorithm>
#include <cstring>
#include <memory>

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "candataexporter.h"
#include "databasecontrol.h"
#include "datahub.h"
#include "datamodel.h"
#include "logworker.h"
#include "modaldriver.h"
#include "sampleframes.h"
#include "tavrix.h"
#include "testsupport.h"
#include "windowundertest.h"

namespace {

// Frame count of the large log: big enough that its parse is still running
// when a test acts, small enough to keep the suite quick.
constexpr int LargeLogFrames = 400000;

const QStringList englishTexts{
    "Kelvane", "Add file", "Clear", "Translate", "Conversion Control", "Format:",
    "Output path:", "Browse", "Progress", "Conversion", "ID sorting:", "ASC", "CSV", "BLF",
    "candump", "default", "from small to large", "from large to small", "toolBar", "Delete",
    "No.", "Time", "Dir", "Name", "ID(HEX)", "Pro", "Format", "Type", "Len", "Data"};
const QStringList chineseTexts{
    "Kelvane-ZH", "添加文件", "清空", "翻译", "转换设置与控制", "目标格式:", "输出路径:",
    "浏览", "进度", "转换", "ID 排序:", "ASC", "CSV", "BLF", "candump", "默认", "从小到大",
    "从大到小", "toolBar", "删除", "序号.", "时间", "方向", "名称", "ID(HEX)", "协议", "帧格式",
    "帧类型", "长度", "数据"};

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini");
}

// "Config.ini" beside the executable for one test; gone again when the test
// returns, also after a failed check.
class ConfigFile final
{
public:
    explicit ConfigFile(const QByteArray &content)
    {
        TestSupport::writeFile(QCoreApplication::applicationDirPath(),
                               QStringLiteral("Config.ini"), content);
    }
    ~ConfigFile() { QFile::remove(configPath()); }
    ConfigFile(const ConfigFile &) = delete;
    ConfigFile &operator=(const ConfigFile &) = delete;
};

// The working directory for one test.
class CurrentDirectory final
{
public:
    explicit CurrentDirectory(const QString &path) : previous(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~CurrentDirectory() { QDir::setCurrent(previous); }
    CurrentDirectory(const CurrentDirectory &) = delete;
    CurrentDirectory &operator=(const CurrentDirectory &) = delete;

private:
    QString previous;
};

void requestContextMenu(WindowUnderTest &w, const QPoint &pos)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, w.list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(w.list->viewport(), &event);
}

// The status bar's text, with the seconds a load took as "T".
QString statusWithoutTime(const WindowUnderTest &w)
{
    static const QRegularExpression seconds(QStringLiteral("\\d+\\.\\d\\d"));
    return w.statusBar->currentMessage().replace(seconds, QStringLiteral("T"));
}

// Every item's text fits in the box's text field.
bool itemsFit(const QComboBox *box)
{
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(box);
    return box->style()
               ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
               .width()
           >= widest;
}

// "Database..." through the real dialog. boxText, when given, gets the text
// of the box that must follow; without it no box may come.
void chooseDatabases(WindowUnderTest &w, const QStringList &paths, QString *boxText = nullptr)
{
    auto *button = w.window->findChild<QToolButton *>(QStringLiteral("databaseButton"));
    QVERIFY(button);
    std::unique_ptr<ModalDriver> box;
    auto dialog = ModalDriver::expect<QFileDialog>([&](QFileDialog *opened) {
        if (boxText) {
            box = ModalDriver::expect<QMessageBox>([boxText](QMessageBox *shown) {
                *boxText = shown->text();
                shown->button(QMessageBox::Ok)->click();
            });
        }
        ModalDriver::acceptFileDialog(opened, paths);
    });
    button->click();
    QVERIFY2(dialog->handled(), qPrintable(dialog->failure()));
    if (boxText)
        QVERIFY2(box && box->handled(), qPrintable(box ? box->failure() : QString()));
}

QStringList column(const DataModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

// The signal panel's rows, each as "name|value|unit|value text|raw".
QStringList signalRows(const WindowUnderTest &w, int row)
{
    w.table->setCurrentIndex(w.model->index(row, DataModel::DataColumn));
    const auto *panel = w.window->findChild<QTreeWidget *>(QStringLiteral("signalPanel"));
    QStringList rows;
    for (int i = 0; panel && i < panel->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < panel->columnCount(); ++c)
            cells << panel->topLevelItem(i)->text(c);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

bool signalPanelShown(const WindowUnderTest &w)
{
    return w.window->findChild<QDockWidget *>(QStringLiteral("signalDock"))->isVisible();
}

QStringList rowTexts(const DataModel &model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString largeLog;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        registerFrameMetaTypes();
        // The remembered databases go to a test folder, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(DatabaseControl::settingsPath());
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QFile::remove(configPath());
        QVERIFY(dir.isValid());
        largeLog = TestSupport::writeFile(dir.path(), QStringLiteral("large.asc"),
                                          largeAscLog(LargeLogFrames));
    }

    void cleanup()
    {
        QFile::remove(configPath());
        QFile::remove(DatabaseControl::settingsPath());
    }

    void startLanguage_data()
    {
        QTest::addColumn<bool>("withConfig");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<bool>("english");
        QTest::newRow("no Config.ini") << false << QByteArray() << false;
        QTest::newRow("1") << true << QByteArray("[Language]\nValue=1\n") << true;
        QTest::newRow("0") << true << QByteArray("[Language]\nValue=0\n") << false;
        QTest::newRow("2") << true << QByteArray("[Language]\nValue=2\n") << false;
        QTest::newRow("a word") << true << QByteArray("[Language]\nValue=English\n") << false;
        QTest::newRow("other group") << true << QByteArray("[Lang]\nValue=1\n") << false;
        QTest::newRow("other key") << true << QByteArray("[Language]\nvalue=1\n") << false;
        QTest::newRow("binary noise") << true << QByteArray("\x00\xff[\x01=\n", 6) << false;
    }

    void startLanguage()
    {
        QFETCH(bool, withConfig);
        QFETCH(QByteArray, config);
        QFETCH(bool, english);
        std::unique_ptr<ConfigFile> file;
        if (withConfig)
            file = std::make_unique<ConfigFile>(config);
        OPEN_WINDOW(w);
        QCOMPARE(w.texts(), english ? englishTexts : chineseTexts);
        // Nothing posted at start-up undoes the language.
        flushEvents();
        QCOMPARE(w.texts(), english ? englishTexts : chineseTexts);
    }

    void initialState()
    {
        OPEN_WINDOW(w);
        QCOMPARE(w.window->size(), QSize(832, 674));
        QCOMPARE(w.list->model()->rowCount(), 0);
        QCOMPARE(w.model->rowCount(), 0);
        QCOMPARE(w.table->horizontalHeader()->count(), 10);
        QVERIFY(!w.table->horizontalHeader()->isHidden());
        QCOMPARE(w.format->currentText(), QStringLiteral("ASC"));
        QCOMPARE(w.sort->currentIndex(), 0);
        QCOMPARE(w.sort->currentText(), QStringLiteral("默认"));
        QVERIFY(w.folder->text().isEmpty());
        QCOMPARE(w.bar->value(), 0);
        QCOMPARE(w.bar->maximum(), 100);
        QVERIFY(w.convert->isEnabled());

        QList<QWidget *> toolButtons;
        for (QAction *action : w.toolBar->actions())
            toolButtons << w.toolBar->widgetForAction(action);
        QCOMPARE(toolButtons,
                 (QList<QWidget *>{w.addFile, w.clear, w.translate,
                                   w.window->findChild<QPushButton *>(
                                       QStringLiteral("overviewButton")),
                                   w.window->findChild<QToolButton *>("databaseButton")}));
        QVERIFY(!signalPanelShown(w));

        QCOMPARE(w.table->verticalHeader()->defaultSectionSize(), 25);
        QCOMPARE(w.table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(w.table->columnWidth(DataModel::DataColumn), 1200);
        QVERIFY(!w.table->isSortingEnabled());
        QCOMPARE(w.list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(w.list->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(w.window->statusBar(), w.statusBar);
        QVERIFY(w.statusBar->currentMessage().isEmpty());
        QVERIFY(!w.window->windowIcon().availableSizes().isEmpty());
    }

    // The language toggles back and forth; the file is never written and the
    // user's choices and the table survive.
    void translateTwice_data()
    {
        QTest::addColumn<bool>("withConfig");
        QTest::addColumn<bool>("english");
        QTest::newRow("from Chinese, no Config.ini") << false << false;
        QTest::newRow("from English") << true << true;
    }

    void translateTwice()
    {
        QFETCH(bool, withConfig);
        QFETCH(bool, english);
        const QByteArray config("[Language]\nValue=1\n");
        std::unique_ptr<ConfigFile> file;
        if (withConfig)
            file = std::make_unique<ConfigFile>(config);
        const QStringList &start = english ? englishTexts : chineseTexts;
        const QStringList &other = english ? chineseTexts : englishTexts;

        const QString log = path(QStringLiteral("toggle.asc"));
        {
            OPEN_WINDOW(w);
            CHECKED(showSampleLog(w, log, 40));
            const Frames shown = w.model->frames();
            w.format->setCurrentIndex(2);
            w.sort->setCurrentIndex(1);
            w.folder->setText(QStringLiteral("/some/folder"));

            QVERIFY(itemsFit(w.format) && itemsFit(w.sort));
            w.translate->click();
            QTRY_COMPARE(w.texts(), other);
            QCOMPARE(w.model->data(w.model->index(0, DataModel::DirectionColumn)).toString(),
                     english ? QStringLiteral("接收") : QStringLiteral("rec"));
            // The boxes grow and shrink with their longest item.
            QTRY_VERIFY(itemsFit(w.format) && itemsFit(w.sort));
            w.translate->click();
            QTRY_COMPARE(w.texts(), start);
            flushEvents();
            QCOMPARE(w.texts(), start);
            QVERIFY(itemsFit(w.format) && itemsFit(w.sort));

            QCOMPARE(w.format->currentIndex(), 2);
            QCOMPARE(w.sort->currentIndex(), 1);
            QCOMPARE(w.folder->text(), QStringLiteral("/some/folder"));
            QCOMPARE(w.fileEntries(), QStringList{log});
            QCOMPARE(recordBytes(w.model->frames()), recordBytes(shown));
        }
        QCOMPARE(QFile::exists(configPath()), withConfig);
        if (withConfig)
            QCOMPARE(TestSupport::readFile(configPath()), config);
        OPEN_WINDOW(again);
        QCOMPARE(again.texts(), start);
    }

    void addFiles()
    {
        const QString one = TestSupport::writeFile(dir.path(), "one.asc", "0.1 1 100 Rx d 0\n");
        const QString two = TestSupport::writeFile(dir.path(), "two.csv", "");
        const QString three = TestSupport::writeFile(dir.path(), "three.asc", "");
        const QString upper = TestSupport::writeFile(dir.path(), "One.asc", "");
        OPEN_WINDOW(w);
        QSignalSpy progress(w.hub, &DataHub::progressUpdated);

        DialogSeen seen;
        CHECKED(chooseFiles(w, {one, two}, &seen));
        QCOMPARE(seen.title, QStringLiteral("选择文件"));
        QCOMPARE(seen.filters,
                 QStringList{QStringLiteral("Data Files (*.asc *.csv *.blf *.log *.trc)")});
        QCOMPARE(w.fileEntries(), (QStringList{one, two}));
        // The list shows names; the full path is the tooltip.
        const QModelIndex first = w.list->model()->index(0, 0);
        QCOMPARE(first.data().toString(), QStringLiteral("one.asc"));
        QCOMPARE(first.data(Qt::ToolTipRole).toString(), QDir::toNativeSeparators(one));

        CHECKED(chooseFiles(w, {two, three, one}));
        QCOMPARE(w.fileEntries(), (QStringList{one, two, three}));
        CHECKED(chooseFiles(w, {upper}));
        QCOMPARE(w.fileEntries(), (QStringList{one, two, three, upper}));
        CHECKED(chooseFiles(w, {}));
        QCOMPARE(w.fileEntries(), (QStringList{one, two, three, upper}));

        // Keyboard moves in the list do not parse either; a click or Enter does.
        w.list->setCurrentIndex(w.list->model()->index(0, 0));
        QTest::keyClick(w.list, Qt::Key_Down);
        flushEvents();
        QCOMPARE(progress.count(), 0);
        QCOMPARE(w.model->rowCount(), 0);
        QApplication::setActiveWindow(w.window.get());
        w.list->setFocus();
        w.list->setCurrentIndex(first);
        QTest::keyClick(w.list, Qt::Key_Return);
        QTRY_COMPARE(w.model->rowCount(), 1);
        QTRY_VERIFY(w.statusBar->currentMessage().startsWith(
            QStringLiteral("已从 one.asc 读取 1 帧，用时 ")));

        // Entries are not editable in place.
        const QRect rect = w.list->visualRect(w.list->model()->index(1, 0));
        QTest::mouseDClick(w.list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QVERIFY(w.list->viewport()->findChildren<QLineEdit *>().isEmpty());
        QCOMPARE(w.fileEntries(), (QStringList{one, two, three, upper}));
    }

    void showFile_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::newRow("ASC") << int(ExportFormat::Asc) << QStringLiteral("shown.asc");
        QTest::newRow("CSV") << int(ExportFormat::Csv) << QStringLiteral("shown.csv");
    }

    void showFile()
    {
        QFETCH(int, format);
        QFETCH(QString, name);
        using TestSupport::makeFrame;
        Frames frames{
            makeFrame(0x1A5, 3, 0, false, false, false, 0, 0x0A),
            makeFrame(0x123ABC, 8, 0, true, false, true, 1500),
            makeFrame(0x7, 2, 0, false, true, false, 2000),
            makeFrame(0x18DAF110, 12, 3, true, false, true, 2500, 0xF0),
            makeFrame(0x0, 0, 2, false, false, false, 3000),
        };
        std::memset(frames[2].data, 0, sizeof frames[2].data);
        // More than one batch of the readers.
        frames += SampleFrames::varied(2600);
        const QString log = path(name);
        CHECKED(writeLog(log, frames, ExportFormat(format)));

        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {log}));
        w.translate->click();
        QTRY_COMPARE(w.texts(), englishTexts);
        CHECKED(showEntry(w, 0, frames.size()));

        // Exactly what the reader delivers, in file order.
        const Frames read = TestSupport::parseOnWorker(log).frames();
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(read));
        CHECKED(compareReadBack(read, frames, false));

        const QString time0 = w.model->data(w.model->index(0, DataModel::TimeColumn)).toString();
        QCOMPARE(rowTexts(*w.model, 0),
                 (QStringList{"0", time0, "rec", " ", "1A5", "CAN", "Data frame",
                              "Standard frame", "3", "0A 0B 0C"}));
        const QString time1 = w.model->data(w.model->index(1, DataModel::TimeColumn)).toString();
        QCOMPARE(rowTexts(*w.model, 1),
                 (QStringList{"1", time1, "send", " ", "123ABC", "CAN", "Data frame",
                              "Extended frame", "8", "11 12 13 14 15 16 17 18"}));
        QCOMPARE(rowTexts(*w.model, 2).mid(2),
                 (QStringList{"rec", " ", "7", "CAN", "Remote frame", "Standard frame", "2",
                              "00 00"}));
        QCOMPARE(rowTexts(*w.model, 3).mid(2),
                 (QStringList{"send", " ", "18DAF110", "CANFD BRS", "Data frame",
                              "Extended frame", "12", "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB"}));
        QCOMPARE(rowTexts(*w.model, 4).mid(4, 6),
                 (QStringList{"0", "CANFD", "Data frame", "Standard frame", "0", ""}));
        if (ExportFormat(format) == ExportFormat::Asc) {
            QCOMPARE(time0, QStringLiteral("0.000000"));
            QCOMPARE(time1, QStringLiteral("0.001500"));
        }

        // Fixed 25-pixel rows; a click on a column title does not sort.
        QCOMPARE(w.table->rowHeight(0), 25);
        QCOMPARE(w.table->columnWidth(DataModel::DataColumn), 1200);
        QCOMPARE(w.table->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        const QHeaderView *header = w.table->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
        QCOMPARE(w.model->data(w.model->index(0, DataModel::IdColumn)).toString(),
                 QStringLiteral("1A5"));
        QCOMPARE(statusWithoutTime(w),
                 QStringLiteral("%1 frames read from %2 in T s").arg(frames.size()).arg(name));
    }

    // A database names the frames in the table and in a CSV export, and the
    // panel shows the signals of the current row; it is remembered for the
    // next window until it is cleared. Expected values by hand from
    // TestSupport::sampleDbc() and sampleDbcLog(): Engine 10 27 FF: Speed
    // 0x2710 * 0.1 = 1000 km/h, Temp byte 2 0xFF signed -1 - 40 = -41 degC;
    // Door 01 01: Mode 1 selects Open = 1 ("open"); 0x123 has no message.
    void database()
    {
        ConfigFile english("[Language]\nValue=1\n");
        const QString dbc = TestSupport::writeFile(dir.path(), QStringLiteral("car.dbc"),
                                                   TestSupport::sampleDbc());
        const QString log = TestSupport::writeFile(dir.path(), QStringLiteral("car.asc"),
                                                   TestSupport::sampleDbcLog());
        const QStringList blank{" ", " ", " ", " "};
        const QStringList named{"Engine", "Door", " ", "Door"};
        {
            OPEN_WINDOW(w);
            CHECKED(chooseFiles(w, {log}));
            CHECKED(showEntry(w, 0, 4));
            QCOMPARE(column(*w.model, DataModel::NameColumn), blank);
            CHECKED(chooseDatabases(w, {dbc}));
            QCOMPARE(column(*w.model, DataModel::NameColumn), named);
            QCOMPARE(w.statusBar->currentMessage(),
                     QStringLiteral("Databases loaded: car.dbc; messages: 2"));
            QVERIFY(signalPanelShown(w));
            QCOMPARE(signalRows(w, 0),
                     (QStringList{"Speed|1000|km/h||2710", "Temp|-41|degC||FF"}));
            QCOMPARE(signalRows(w, 1), (QStringList{"Mode|1|||1", "Open|1||open|1"}));
            QCOMPARE(signalRows(w, 2), QStringList());
            // The filter's name terms ask the databases loaded.
            auto *filterEdit = w.window->findChild<QLineEdit *>(QStringLiteral("filterEdit"));
            QVERIFY(filterEdit);
            filterEdit->setText(QStringLiteral("name Door"));
            QTest::keyClick(filterEdit, Qt::Key_Return);
            QTRY_COMPARE(w.model->rowCount(), 2);
            QCOMPARE(column(*w.model, DataModel::NameColumn), (QStringList{"Door", "Door"}));
            filterEdit->clear();
            QTest::keyClick(filterEdit, Qt::Key_Return);
            QTRY_COMPARE(w.model->rowCount(), 4);

            // The CSV gets the names the table shows.
            BoxSeen seen;
            const QString csv = path(QStringLiteral("named.csv"));
            CHECKED(convertTo(w, ExportFormat::Csv, csv, seen));
            const QList<QByteArray> lines = TestSupport::readFile(csv).split('\n');
            QCOMPARE(lines.size(), 6);
            QVERIFY(lines[1].contains(",Engine,0x00000100,"));
            QVERIFY(lines[3].contains(", ,0x00000123,"));
        }
        {
            // Remembered: the next window names the frames at once.
            OPEN_WINDOW(w);
            QCOMPARE(w.statusBar->currentMessage(),
                     QStringLiteral("Databases loaded: car.dbc; messages: 2"));
            CHECKED(chooseFiles(w, {log}));
            CHECKED(showEntry(w, 0, 4));
            QCOMPARE(column(*w.model, DataModel::NameColumn), named);

            // A file that does not parse: its line and column, and the
            // database loaded before stays.
            const QString bad = TestSupport::writeFile(dir.path(), QStringLiteral("bad.dbc"),
                "VERSION \"\"\nBO_ 300 Gear: 8 ECU\n SG_ G : 0|4@1+ (1 [0|1] \"\" ECU\n");
            QString boxText;
            CHECKED(chooseDatabases(w, {bad}, &boxText));
            QVERIFY2(boxText.startsWith(bad + ":3:"), qPrintable(boxText));
            QVERIFY(w.statusBar->currentMessage().startsWith("Database not loaded: " + bad));
            QCOMPARE(column(*w.model, DataModel::NameColumn), named);

            auto *clear = w.window->findChild<QAction *>(QStringLiteral("clearDatabasesAction"));
            QVERIFY(clear && clear->isEnabled());
            clear->trigger();
            QCOMPARE(column(*w.model, DataModel::NameColumn), blank);
            QVERIFY(!signalPanelShown(w));
            QCOMPARE(signalRows(w, 0), QStringList());
        }
        {
            // Cleared is remembered too: the window is as without databases.
            OPEN_WINDOW(w);
            QVERIFY(w.statusBar->currentMessage().isEmpty());
            QVERIFY(!signalPanelShown(w));
        }
    }

    // A remembered file that has gone is told in the status bar; the others
    // load, and the list stays for a later start.
    void rememberedDatabaseMissing()
    {
        ConfigFile english("[Language]\nValue=1\n");
        const QString dbc = TestSupport::writeFile(dir.path(), QStringLiteral("kept.dbc"),
                                                   TestSupport::sampleDbc());
        const QString gone = path(QStringLiteral("gone.dbc"));
        {
            QSettings settings(DatabaseControl::settingsPath(), QSettings::IniFormat);
            settings.setValue("Databases/Files", QStringList{gone, dbc});
        }
        OPEN_WINDOW(w);
        QCOMPARE(w.statusBar->currentMessage(),
                 "Database not loaded: " + gone + ":0:0: cannot open the file");
        QVERIFY(signalPanelShown(w));
        w.translate->click();
        QTRY_VERIFY(w.statusBar->currentMessage().startsWith(
            QStringLiteral("数据库未加载：") + gone));
        QCOMPARE(QSettings(DatabaseControl::settingsPath(), QSettings::IniFormat)
                     .value("Databases/Files")
                     .toStringList(),
                 (QStringList{gone, dbc}));
    }

    // What the status bar says of a file clicked, in each language: at once
    // that it is being read, then how the reading ended. A file that ends
    // early keeps the frames read.
    void statusOfARead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("make"); // "", "vanished", "folder", "locked", "cut"
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("expected"); // <n>: the frames shown, T: the seconds
        const QByteArray frames = largeAscLog(30);
        struct Message
        {
            const char *row;
            const char *name;
            QByteArray content;
            const char *make;
            const char *english;
            const char *chinese;
        };
        const Message messages[] = {
            {"read", "read.asc", frames, "", "<n> frames read from read.asc in T s",
             "已从 read.asc 读取 <n> 帧，用时 T 秒"},
            {"not found", "gone.asc", frames, "vanished",
             "Cannot read gone.asc: the file does not exist", "无法读取 gone.asc：文件不存在"},
            {"a folder", "folder.asc", {}, "folder",
             "Cannot read folder.asc: it is a folder, not a file",
             "无法读取 folder.asc：这是文件夹，不是文件"},
            {"no permission", "locked.asc", frames, "locked",
             "Cannot read locked.asc: no permission to read it",
             "无法读取 locked.asc：没有读取权限"},
            {"unsupported", "notes.txt", frames, "",
             "Cannot read notes.txt: unsupported format; readable formats: *.asc *.csv *.blf *.log *.trc",
             "无法读取 notes.txt：不支持的格式；可读取的格式：*.asc *.csv *.blf *.log *.trc"},
            {"not BLF", "text.blf", frames, "", "Cannot read text.blf: not a BLF file",
             "无法读取 text.blf：不是 BLF 文件"},
            {"no frames", "empty.asc", {}, "", "Cannot read empty.asc: no frames in the file",
             "无法读取 empty.asc：文件中没有帧"},
            {"CSV of another layout", "other.csv", "Time,ID,Data\n0.5,100,01 02\n", "",
             "Cannot read other.csv: no frames in the file; a CSV log needs the nine columns "
             "of the header Tavrix writes",
             "无法读取 other.csv：文件中没有帧；CSV 日志需要 Tavrix 所写表头的九列"},
            {"cut BLF", "cut.blf", {}, "cut",
             "cut.blf ends early (damaged or cut): <n> frames read",
             "cut.blf 提前结束（已损坏或被截断）：读取了 <n> 帧"},
            {"cut ASC", "cut.asc", frames.left(frames.size() - 10), "",
             "cut.asc ends early (damaged or cut): <n> frames read",
             "cut.asc 提前结束（已损坏或被截断）：读取了 <n> 帧"},
        };
        for (const Message &m : messages) {
            for (const bool english : {true, false}) {
                QTest::addRow("%s, %s", m.row, english ? "English" : "Chinese")
                    << QString::fromLatin1(m.name) << m.content << QString::fromLatin1(m.make)
                    << english << QString::fromUtf8(english ? m.english : m.chinese);
            }
        }
    }

    void statusOfARead()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, make);
        QFETCH(bool, english);
        QFETCH(QString, expected);
        if (make == QLatin1String("locked") && geteuid() == 0)
            QSKIP("permissions do not stop root");
        QTemporaryDir here;
        const QString file = here.filePath(name);
        if (make == QLatin1String("cut")) {
            CHECKED(writeLog(file, SampleFrames::varied(3000), ExportFormat::Blf));
            QVERIFY(QFile::resize(file, QFileInfo(file).size() / 2));
        } else {
            TestSupport::writeFile(here.path(), name, content);
        }
        std::unique_ptr<ConfigFile> config;
        if (english)
            config = std::make_unique<ConfigFile>("[Language]\nValue=1\n");
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {file}));
        // The file dialog opens a folder rather than choose it: the file
        // turns into one once it is in the list.
        if (make == QLatin1String("vanished") || make == QLatin1String("folder"))
            QVERIFY(QFile::remove(file));
        if (make == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(file));
        if (make == QLatin1String("locked"))
            QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));

        QSignalSpy ended(w.window->findChild<LogWorker *>(), &LogWorker::loadEnded);
        CHECKED(clickEntry(w, 0));
        QCOMPARE(w.statusBar->currentMessage(),
                 (english ? QStringLiteral("Reading %1: 0 frames, 0%")
                          : QStringLiteral("正在读取 %1：0 帧，0%"))
                     .arg(name));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, ParseTimeoutMs);
        const int shown = w.model->rowCount();
        expected.replace(QStringLiteral("<n>"), QString::number(shown));
        QCOMPARE(statusWithoutTime(w), expected);
        // The frames read stay; only the frames of whole records are read.
        QCOMPARE(recordBytes(w.model->frames()),
                 recordBytes(TestSupport::parseOnWorker(file).frames()));
        if (name.startsWith(QLatin1String("cut")))
            QVERIFY(shown > 0 && shown < (name.endsWith(QLatin1String("blf")) ? 3000 : 30));
        // Another language says it again in its own words.
        w.translate->click();
        QTRY_VERIFY(statusWithoutTime(w) != expected);
        QVERIFY(!w.statusBar->currentMessage().isEmpty());
    }

    // A click while another file is still being read shows the clicked file
    // alone: batches the stopped parse had queued are dropped.
    void clickDuringParse()
    {
        const Frames small = SampleFrames::varied(2500);
        const QString smallLog = path(QStringLiteral("small.csv"));
        CHECKED(writeLog(smallLog, small, ExportFormat::Csv));
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {largeLog, smallLog}));

        CHECKED(clickEntry(w, 0));
        QTRY_VERIFY_WITH_TIMEOUT(w.model->rowCount() > 0, ParseTimeoutMs);
        QVERIFY2(w.model->rowCount() < LargeLogFrames, "the large log was read completely");
        // Leave the reader time to queue batches behind the test's back, the
        // case the window has to handle; the result does not depend on it.
        QThread::msleep(30);

        QSignalSpy finished(w.hub, &DataHub::parsingFinished);
        QSignalSpy ended(w.window->findChild<LogWorker *>(), &LogWorker::loadEnded);
        CHECKED(clickEntry(w, 1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, ParseTimeoutMs);
        flushEvents();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.model->rowCount(), small.size());
        QCOMPARE(recordBytes(w.model->frames()),
                 recordBytes(TestSupport::parseOnWorker(smallLog).frames()));
        // The stopped read's end is not taken for the clicked file's.
        QCOMPARE(ended.count(), 1);
        QCOMPARE(statusWithoutTime(w), QStringLiteral("已从 small.csv 读取 2500 帧，用时 T 秒"));
    }

    void clearDuringParse()
    {
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {largeLog}));
        QSignalSpy finished(w.hub, &DataHub::parsingFinished);
        CHECKED(clickEntry(w, 0));
        QTRY_VERIFY_WITH_TIMEOUT(w.model->rowCount() > 0, ParseTimeoutMs);
        QVERIFY2(w.model->rowCount() < LargeLogFrames, "the large log was read completely");
        QThread::msleep(30);

        w.clear->click();
        QCOMPARE(w.list->model()->rowCount(), 0);
        QCOMPARE(w.model->rowCount(), 0);
        flushEvents();
        QCOMPARE(w.model->rowCount(), 0);
        QCOMPARE(finished.count(), 0);
    }

    // "Clear" on an empty list leaves the table alone, even when the file it
    // shows was deleted from the list.
    void clearWithEmptyList()
    {
        const int count = 30;
        OPEN_WINDOW(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("kept.asc")), count));

        w.list->setCurrentIndex(w.list->model()->index(0, 0));
        auto menu = ModalDriver::expect<QMenu>([&](QMenu *shown) {
            shown->setActiveAction(w.deleteAction);
            QTest::keyClick(shown, Qt::Key_Return);
        });
        CHECKED(requestContextMenu(w, w.list->visualRect(w.list->currentIndex()).center()));
        QVERIFY2(menu->handled(), qPrintable(menu->failure()));
        QCOMPARE(w.list->model()->rowCount(), 0);
        QCOMPARE(w.model->rowCount(), count);

        w.clear->click();
        flushEvents();
        QCOMPARE(w.model->rowCount(), count);
    }

    void contextMenu()
    {
        const QString a = TestSupport::writeFile(dir.path(), "menu-a.asc", "");
        const QString b = TestSupport::writeFile(dir.path(), "menu-b.asc", "");
        OPEN_WINDOW(w);
        QSignalSpy shown(w.menu, &QMenu::aboutToShow);
        const QPoint emptySpace(10, w.list->viewport()->height() - 10);

        {
            // Closes the menu should it open, so the check below fails instead of hanging.
            auto closer = ModalDriver::expect<QMenu>([](QMenu *menu) { menu->close(); }, 100);
            CHECKED(requestContextMenu(w, emptySpace));
            QCOMPARE(shown.count(), 0);
        }

        CHECKED(chooseFiles(w, {a, b}));
        QList<QAction *> actions;
        auto deleteFromMenu = [&] {
            return ModalDriver::expect<QMenu>([&](QMenu *menu) {
                actions = menu->actions();
                menu->setActiveAction(w.deleteAction);
                QTest::keyClick(menu, Qt::Key_Return);
            });
        };
        // No current entry: the menu opens, over empty space too, and deletes nothing.
        auto first = deleteFromMenu();
        CHECKED(requestContextMenu(w, emptySpace));
        QVERIFY2(first->handled(), qPrintable(first->failure()));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(actions, QList<QAction *>{w.deleteAction});
        QCOMPARE(w.deleteAction->text(), QStringLiteral("删除"));
        QCOMPARE(w.fileEntries(), (QStringList{a, b}));

        w.list->setCurrentIndex(w.list->model()->index(1, 0));
        auto second = deleteFromMenu();
        CHECKED(requestContextMenu(w, w.list->visualRect(w.list->currentIndex()).center()));
        QVERIFY2(second->handled(), qPrintable(second->failure()));
        QCOMPARE(w.fileEntries(), QStringList{a});
    }

    void convert_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("sort");
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QString>("folderField"); // "<dir>" stands for the output folder

        QTest::newRow("ASC, default order, folder field")
            << 0 << 0 << false << QStringLiteral("<dir>");
        QTest::newRow("CSV, small to large, empty field: working directory")
            << 1 << 1 << false << QString();
        QTest::newRow("ASC, large to small, field in blanks")
            << 0 << 2 << false << QStringLiteral("  <dir>\t");
        QTest::newRow("CSV, Chinese") << 1 << 0 << true << QStringLiteral("<dir>");
        // Beyond the form's items: from the table of formats.
        QTest::newRow("candump, small to large") << 3 << 1 << false << QStringLiteral("<dir>");
    }

    void convert()
    {
        QFETCH(int, format);
        QFETCH(int, sort);
        QFETCH(bool, chinese);
        QFETCH(QString, folderField);
        QTemporaryDir outDir;
        QVERIFY(outDir.isValid());
        CurrentDirectory cwd(outDir.path());

        OPEN_WINDOW(w);
        if (!chinese) {
            w.translate->click();
            QTRY_COMPARE(w.texts(), englishTexts);
        }
        CHECKED(showSampleLog(w, path(QStringLiteral("convert-source.asc")), 700));
        const Frames shown = w.model->frames();
        w.format->setCurrentIndex(format);
        w.sort->setCurrentIndex(sort);
        w.folder->setText(QString(folderField).replace(QStringLiteral("<dir>"), outDir.path()));

        DialogSeen seen;
        auto save = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
            seen = describe(dialog);
            ModalDriver::acceptFileDialog(dialog);
        });
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
        w.convert->click();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY2(save->handled(), qPrintable(save->failure()));
        QVERIFY(!w.convert->isEnabled());
        const QString written = QFileInfo(seen.proposal).fileName();
        QCOMPARE(w.statusBar->currentMessage(),
                 (chinese ? QStringLiteral("正在写入 %1...") : QStringLiteral("Writing %1..."))
                     .arg(written));

        bool enabledInBox = true;
        int barInBox = -1;
        QString boxTitle;
        QString boxText;
        QString statusInBox;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        auto done = ModalDriver::expect<QMessageBox>([&](QMessageBox *box) {
            enabledInBox = w.convert->isEnabled();
            barInBox = w.bar->value();
            statusInBox = w.statusBar->currentMessage();
            boxTitle = box->windowTitle();
            boxText = box->text();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY2(done->wait(), qPrintable(done->failure()));
        QVERIFY(!enabledInBox);
        QCOMPARE(barInBox, 100);
        QCOMPARE(icon, QMessageBox::Information);
        QCOMPARE(boxTitle, chinese ? QStringLiteral("提示") : QStringLiteral("Hit"));
        QCOMPARE(boxText, chinese ? QStringLiteral("操作完成") : QStringLiteral("Operation Complete"));
        QCOMPARE(statusInBox, (chinese ? QStringLiteral("已写入 %1：700 帧")
                                       : QStringLiteral("%1 written: 700 frames"))
                                  .arg(written));
        QVERIFY(w.convert->isEnabled());
        QCOMPARE(w.bar->value(), 0);

        // The proposal: CAN_Data_<local time>.<suffix> in the folder field, or
        // in the working directory when the field is empty.
        const QString suffix = QLatin1String(format == 0 ? "asc" : format == 1 ? "csv" : "log");
        QCOMPARE(seen.title, QStringLiteral("Save CAN Data"));
        QCOMPARE(seen.filters, QStringList{format == 3 ? QStringLiteral("candump Logs (*.log)")
                                                       : suffix.toUpper() + " Files (*." + suffix
                                                             + ")"});
        const QFileInfo proposal(seen.proposal);
        QCOMPARE(proposal.absolutePath(), outDir.path());
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^CAN_Data_(\\d{8}_\\d{6})\\.") + suffix + '$')
                .match(proposal.fileName());
        QVERIFY2(match.hasMatch(), qPrintable(proposal.fileName()));
        const QDateTime stamp =
            QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMdd_HHmmss"));
        QVERIFY(stamp >= before && stamp <= after);

        // The file holds the table's frames in the chosen identifier order.
        Frames expected = shown;
        if (sort != 0) {
            std::stable_sort(expected.begin(), expected.end(),
                             [sort](const Vemi_CANFD_Data &x, const Vemi_CANFD_Data &y) {
                                 return sort == 1 ? x.identifier() < y.identifier()
                                                  : x.identifier() > y.identifier();
                             });
        }
        const Frames read = TestSupport::parseOnWorker(seen.proposal).frames();
        CHECKED(compareReadBack(read, expected, format == 0 || format == 3));
        const QString firstLine = QString::fromUtf8(TestSupport::readFile(seen.proposal))
                                      .section(QLatin1Char('\n'), 0, 0);
        if (format == 0) {
            QVERIFY(firstLine.startsWith(QStringLiteral("date ")));
        } else if (format == 3) {
            QVERIFY(firstLine.startsWith(QStringLiteral("(0000000000.")));
        } else {
            const QString header = chinese ? QStringLiteral("方向(0:接收 1:发送 2:错误)")
                                           : QStringLiteral("Direction(0:Rx 1:Tx 2:Error)");
            QVERIFY2(firstLine.startsWith(header), qPrintable(firstLine));
        }
        QCOMPARE(w.statusBar->currentMessage(), statusInBox);
    }

    void convertEmptyTable_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("English") << false;
        QTest::newRow("Chinese") << true;
    }

    // The file name is asked for first; then the warning, and no file.
    void convertEmptyTable()
    {
        QFETCH(bool, chinese);
        std::unique_ptr<ConfigFile> file;
        if (!chinese)
            file = std::make_unique<ConfigFile>("[Language]\nValue=1\n");
        OPEN_WINDOW(w);
        const QString target = path(QStringLiteral("never-written.asc"));
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        auto save = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            ModalDriver::acceptFileDialog(dialog, {target});
        });
        auto warning = ModalDriver::expect<QMessageBox>([&](QMessageBox *box) {
            title += '|' + box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        w.convert->click();
        QVERIFY2(save->handled(), qPrintable(save->failure()));
        QVERIFY2(warning->handled(), qPrintable(warning->failure()));
        QCOMPARE(title, chinese ? QStringLiteral("Save CAN Data|提示")
                                : QStringLiteral("Save CAN Data|Hit"));
        QCOMPARE(text, chinese ? QStringLiteral("没有可用数据") : QStringLiteral("No data available"));
        QCOMPARE(icon, QMessageBox::Warning);
        QVERIFY(!QFile::exists(target));
        QVERIFY(w.convert->isEnabled());
    }

    void convertFails_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("target"); // "<dir>" stands for the test's folder
        QTest::addColumn<bool>("removeMidway"); // the target's folder goes during the export
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("reason"); // the box's second line
        const QString missing = QStringLiteral("文件夹不存在");
        const QString full = QStringLiteral("磁盘空间不足");
        const QString removed = QStringLiteral("文件在写入时被删除");
        QTest::newRow("ASC, folder missing")
            << 0 << QStringLiteral("<dir>/missing/out.asc") << false << false << missing;
        QTest::newRow("ASC, folder missing, English")
            << 0 << QStringLiteral("<dir>/missing/out.asc") << false << true
            << QStringLiteral("the folder does not exist");
        QTest::newRow("ASC, device full") << 0 << QStringLiteral("/dev/full") << false << false
                                          << full;
        QTest::newRow("BLF, device full") << 2 << QStringLiteral("/dev/full") << false << false
                                          << full;
        QTest::newRow("CSV, device full, English")
            << 1 << QStringLiteral("/dev/full") << false << true
            << QStringLiteral("no space left on the disk");
        QTest::newRow("ASC, folder removed")
            << 0 << QStringLiteral("<dir>/gone/out.asc") << true << false << removed;
        QTest::newRow("CSV, folder removed")
            << 1 << QStringLiteral("<dir>/gone/out.csv") << true << false << removed;
        QTest::newRow("BLF, folder removed, English")
            << 2 << QStringLiteral("<dir>/gone/out.blf") << true << true
            << QStringLiteral("the file was removed while it was written");
        // sysfs takes no new files, not even from root.
        QTest::newRow("ASC, no permission")
            << 0 << QStringLiteral("/sys/tavrix-out.asc") << false << false
            << QStringLiteral("没有写入权限");
        QTest::newRow("CSV, no permission, English")
            << 1 << QStringLiteral("/sys/tavrix-out.csv") << false << true
            << QStringLiteral("no permission to write there");
    }

    // A failed export says so and the button comes back; the table keeps its
    // frames, and the next conversion to a good path succeeds.
    void convertFails()
    {
        QFETCH(int, format);
        QFETCH(QString, target);
        QFETCH(bool, removeMidway);
        QFETCH(bool, english);
        QFETCH(QString, reason);
        if (target.startsWith(QLatin1String("/dev/")) && !QFileInfo::exists(target))
            QSKIP("no /dev/full here");
        if (target.startsWith(QLatin1String("/sys/"))
            && !QFileInfo(QStringLiteral("/sys")).isDir())
            QSKIP("no /sys here");
        target.replace(QStringLiteral("<dir>"), dir.path());
        std::unique_ptr<ConfigFile> file;
        if (english)
            file = std::make_unique<ConfigFile>("[Language]\nValue=1\n");
        OPEN_WINDOW(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("fails-source.asc")), 50));
        const Frames shown = w.model->frames();
        QMetaObject::Connection remover;
        if (removeMidway) {
            const QString folder = QFileInfo(target).absolutePath();
            QVERIFY(QDir().mkpath(folder));
            auto *exporter = w.window->findChild<CanDataExporter *>();
            QVERIFY(exporter);
            // On the export thread, once a tenth of the frames is written.
            remover = connect(exporter, &CanDataExporter::progressUpdated, exporter,
                              [folder](int percent) {
                                  if (percent >= 10 && QFileInfo::exists(folder))
                                      QDir(folder).removeRecursively();
                              },
                              Qt::DirectConnection);
        }

        BoxSeen seen;
        CHECKED(convertTo(w, ExportFormat(format), target, seen));
        QVERIFY(!seen.convertEnabled);
        QCOMPARE(seen.title + '|' + seen.text,
                 (english ? QStringLiteral("Hit|Conversion failed\n")
                          : QStringLiteral("提示|转换失败\n"))
                     + reason);
        const QString name = QFileInfo(target).fileName();
        QCOMPARE(w.statusBar->currentMessage(),
                 (english ? QStringLiteral("Writing %1 failed: %2")
                          : QStringLiteral("写入 %1 失败：%2"))
                     .arg(name, reason));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QVERIFY(w.convert->isEnabled());
        QCOMPARE(w.bar->value(), 0);
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(shown));

        disconnect(remover);
        const QString suffixes[] = {QStringLiteral("asc"), QStringLiteral("csv"),
                                    QStringLiteral("blf")};
        const QString good = path(QStringLiteral("after-failure.") + suffixes[format]);
        CHECKED(convertTo(w, ExportFormat(format), good, seen));
        QCOMPARE(seen.text, english ? QStringLiteral("Operation Complete")
                                    : QStringLiteral("操作完成"));
        CHECKED(compareReadBack(TestSupport::parseOnWorker(good).frames(), shown, format == 0));
    }

    void browse_data()
    {
        QTest::addColumn<QString>("field"); // "<dir>" stands for an existing folder
        QTest::addColumn<bool>("opensThere");
        QTest::addColumn<bool>("choose");
        QTest::newRow("existing folder") << QStringLiteral("<dir>") << true << true;
        QTest::newRow("existing folder in blanks") << QStringLiteral(" <dir> ") << true << true;
        QTest::newRow("empty") << QString() << false << true;
        QTest::newRow("missing folder") << QStringLiteral("<dir>/missing") << false << true;
        QTest::newRow("a file") << QStringLiteral("<dir>/browse.asc") << false << true;
        QTest::newRow("cancelled") << QStringLiteral("<dir>") << true << false;
    }

    void browse()
    {
        QFETCH(QString, field);
        QFETCH(bool, opensThere);
        QFETCH(bool, choose);
        TestSupport::writeFile(dir.path(), "browse.asc", "");
        const QString chosen = path(QStringLiteral("chosen"));
        QVERIFY(QDir().mkpath(chosen));
        field.replace(QStringLiteral("<dir>"), dir.path());

        OPEN_WINDOW(w);
        w.folder->setText(field);
        DialogSeen seen;
        QFileDialog::Options options;
        auto driver = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
            seen = describe(dialog);
            options = dialog->options();
            if (!choose) {
                dialog->reject();
                return;
            }
            ModalDriver::acceptFileDialog(dialog, {chosen});
        });
        w.browse->click();
        QVERIFY2(driver->handled(), qPrintable(driver->failure()));
        QCOMPARE(seen.title, QStringLiteral("选择"));
        QVERIFY(options.testFlag(QFileDialog::ShowDirsOnly));
        QVERIFY(options.testFlag(QFileDialog::DontResolveSymlinks));
        QCOMPARE(seen.directory,
                 opensThere ? dir.path() : QCoreApplication::applicationDirPath());
        QCOMPARE(w.folder->text(), choose ? chosen : field);
    }

    // The window waits for its parse before the objects it uses go away.
    void closeDuringParse()
    {
        // The reader may get through the file before the test looks; a few
        // tries catch it in the middle on a busy machine too.
        bool caught = false;
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            auto w = std::make_unique<WindowUnderTest>();
            QVERIFY(w->complete());
            CHECKED(chooseFiles(*w, {largeLog}));
            CHECKED(clickEntry(*w, 0));
            QElapsedTimer waited;
            waited.start();
            while (w->model->rowCount() == 0 && waited.elapsed() < ParseTimeoutMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QVERIFY(w->model->rowCount() > 0);
            caught = heldOpen(largeLog);
            w.reset();
            QVERIFY(!heldOpen(largeLog));
            flushEvents();
        }
        QVERIFY2(caught, "the large log was read completely before every close");
    }

    // The window waits for its export, which writes the whole file; the
    // completion box of a window that is gone never shows.
    void closeDuringExport()
    {
        auto w = std::make_unique<WindowUnderTest>();
        QVERIFY(w->complete());
        CHECKED(chooseFiles(*w, {largeLog}));
        CHECKED(showEntry(*w, 0, LargeLogFrames));
        const QString target = path(QStringLiteral("closing.asc"));
        auto save = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
            ModalDriver::acceptFileDialog(dialog, {target});
        });
        w->convert->click();
        QVERIFY2(save->handled(), qPrintable(save->failure()));
        QVERIFY(!w->convert->isEnabled());
        w.reset();
        QVERIFY(!heldOpen(target));

        auto box = ModalDriver::expect<QMessageBox>([](QMessageBox *shown) { shown->close(); });
        flushEvents();
        QVERIFY(!box->handled());
        QCOMPARE(TestSupport::parseOnWorker(target).frames().size(), LargeLogFrames);
    }

    // Files that vanish or hold no frames never cost the user anything but
    // what their own click replaces.
    void badInput()
    {
        const int count = 60;
        const QString good = path(QStringLiteral("good.asc"));
        const QString vanished = TestSupport::writeFile(dir.path(), "vanished.asc", "");
        const QString turned = TestSupport::writeFile(dir.path(), "turned.asc", "");
        QByteArray noise(64 * 1024, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919) >> 3);
        const QString garbage = TestSupport::writeFile(dir.path(), "garbage.csv", noise);
        const QString unsupported =
            TestSupport::writeFile(dir.path(), "notes.txt", "0.1 1 1 Rx d 0");

        OPEN_WINDOW(w);
        CHECKED(showSampleLog(w, good, count));
        CHECKED(chooseFiles(w, {vanished, garbage, unsupported, turned}));
        QVERIFY(QFile::remove(vanished));
        // A file that became a folder cannot be opened for reading.
        QVERIFY(QFile::remove(turned) && QDir().mkpath(turned));
        flushEvents();
        QCOMPARE(w.model->rowCount(), count);

        // A vanished file: the click empties the table, the parse reports and ends.
        CHECKED(showEntry(w, 1, 0));
        CHECKED(showEntry(w, 0, count));
        CHECKED(showEntry(w, 4, 0));
        CHECKED(showEntry(w, 0, count));
        // Noise: whatever the reader makes of it, the parse ends.
        QSignalSpy finished(w.hub, &DataHub::parsingFinished);
        CHECKED(clickEntry(w, 2));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, ParseTimeoutMs);
        CHECKED(showEntry(w, 0, count));
        // An unsupported suffix: nothing is read and nothing is reported.
        CHECKED(clickEntry(w, 3));
        flushEvents();
        QCOMPARE(w.model->rowCount(), 0);
        // A reader that hands over an empty batch: nothing to show, nothing read past it.
        CHECKED(showEntry(w, 0, count));
        QTest::ignoreMessage(QtDebugMsg, "数据 (empty batch)");
        emit w.hub->dataParsed(Frames());
        QCOMPARE(w.model->rowCount(), count);
        // Still responsive, and the list is whole.
        CHECKED(showEntry(w, 0, count));
        QCOMPARE(w.fileEntries(), (QStringList{good, vanished, garbage, unsupported, turned}));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
