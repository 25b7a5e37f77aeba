#include "tavrix.h"

#include <algorithm>
#include <memory>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QStringListModel>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QtDebug>

#include "candataexporter.h"
#include "databasecontrol.h"
#include "datahub.h"
#include "datamodel.h"
#include "filelistmodel.h"
#include "filterbar.h"
#include "overviewdialog.h"
#include "framestore.h"
#include "logformat.h"
#include "logworker.h"
#include "messagedatabase.h"
#include "readreport.h"
#include "signalpanel.h"

namespace {

const char *const englishTranslation = ":/Translation/Tavrix_en_AS.qm";
const char *const chineseTranslation = ":/Translation/Tavrix_zh_CN.qm";

// The load's status is drawn this often at most, in milliseconds.
constexpr int LoadStatusInterval = 250;

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

Tavrix::Tavrix(QWidget *parent)
    : QMainWindow(parent)
{
    ui.setupUi(this);
    addFormatItems();
    initWindow();
}

Tavrix::~Tavrix()
{
    // The workers use the hub, the store and the exporter, which die with the
    // window: none of them may outlive it.
    worker->shutdown();
    delete listMenu;
}

void Tavrix::initWindow()
{
    setWindowIcon(QIcon(QStringLiteral(":/Tavrix/Resources/hqt5v-j5rx8-001.ico")));

    addFileButton = new QPushButton;
    clearButton = new QPushButton;
    translateButton = new QPushButton;
    addFileButton->setObjectName(QStringLiteral("addFileButton"));
    clearButton->setObjectName(QStringLiteral("clearButton"));
    translateButton->setObjectName(QStringLiteral("translateButton"));
    ui.toolBar->addWidget(addFileButton);
    ui.toolBar->addWidget(clearButton);
    ui.toolBar->addWidget(translateButton);

    fileListModel = new FileListModel(this);
    ui.listView->setModel(fileListModel);
    ui.listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.listView->setContextMenuPolicy(Qt::CustomContextMenu);

    listMenu = new QMenu;
    listMenu->setObjectName(QStringLiteral("listMenu"));
    deleteAction = new QAction(tr("Delete"), this);
    deleteAction->setObjectName(QStringLiteral("deleteAction"));
    listMenu->addAction(deleteAction);

    dataModel = new DataModel(this);
    ui.tableView->setModel(dataModel);
    ui.tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setUpRowHeader(ui.tableView->verticalHeader());
    // The row header keeps a record for every row it ever had; after a large
    // log it is made anew, so that emptying the table gives the memory back.
    connect(dataModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        rowsBeforeReset = dataModel->rowCount();
    });
    connect(dataModel, &QAbstractItemModel::modelReset, this, [this] {
        if (rowsBeforeReset >= LargeTable) {
            auto *header = new QHeaderView(Qt::Vertical, ui.tableView);
            setUpRowHeader(header);
            ui.tableView->setVerticalHeader(header);
        }
        rowsBeforeReset = 0;
    });
    ui.tableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui.tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui.tableView->setColumnWidth(DataModel::DataColumn, 1200);
    ui.tableView->setSortingEnabled(false);
    initFilter();

    connect(addFileButton, &QPushButton::clicked, this, &Tavrix::onAddFileClicked);
    connect(clearButton, &QPushButton::clicked, this, &Tavrix::onDeleteClicked);
    connect(translateButton, &QPushButton::clicked, this, &Tavrix::onTranslateClicked);
    connect(deleteAction, SIGNAL(triggered()), this, SLOT(onDeleteSelectedClicked()));
    connect(ui.listView, &QListView::clicked, this, &Tavrix::onFileItemClicked);
    connect(ui.listView, SIGNAL(customContextMenuRequested(const QPoint &)), this,
            SLOT(onMenuRequested(const QPoint &)));
    // Enter on an entry loads it as a click does.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto *enter = new QShortcut(QKeySequence(key), ui.listView, nullptr, nullptr,
                                    Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this,
                [this] { onFileItemClicked(ui.listView->currentIndex()); });
    }
    // The items are as wide as their longest text in the language shown.
    ui.comboBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ui.comboBox_2->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    dataHub = new DataHub(this);
    connect(dataHub, &DataHub::progressUpdated, this, &Tavrix::onProgressUpdated);
    connect(dataHub, &DataHub::dataParsed, this, &Tavrix::onDataParsed);
    // The last rows are in the table when the end of the file is reported.
    connect(dataHub, &DataHub::parsingFinished, dataModel, &DataModel::showPendingRows);
    connect(dataHub, &DataHub::parsingFinished, this, &Tavrix::onParsingFinished);
    connect(dataModel, &DataModel::capacityReached, this, &Tavrix::onCapacityReached);

    exporter = new CanDataExporter(this);
    // The worker hands the hub's batches to the model's store, which the
    // table follows.
    worker = new LogWorker(dataHub, dataModel->store(), exporter, this);
    connect(worker, &LogWorker::exportEnded, this, &Tavrix::onExportFinished);
    progressTimer = new QTimer(this);
    progressTimer->setInterval(40);
    connect(progressTimer, &QTimer::timeout, this, &Tavrix::showExportProgress);
    initStatus();
    initDatabase();

    QSettings settings(QCoreApplication::applicationDirPath() + QLatin1String("/Config.ini"),
                       QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Language"));
    const int language = settings.value(QStringLiteral("Value"), QVariant()).toInt();
    settings.endGroup();

    translator = new QTranslator(this);
    isEnglish = language == 1;
    translator->load(QLatin1String(isEnglish ? englishTranslation : chineseTranslation));
    QCoreApplication::installTranslator(translator);
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(this, &languageChange);
    databases->restore();
}

void Tavrix::initFilter()
{
    // The line sits above the table; the file list spans both.
    filterBar = new FilterBar(dataModel, ui.tableView, ui.widget);
    ui.gridLayout_2->removeWidget(ui.listView);
    ui.gridLayout_2->removeWidget(ui.tableView);
    ui.gridLayout_2->addWidget(ui.listView, 0, 0, 2, 1);
    ui.gridLayout_2->addWidget(filterBar, 0, 1);
    ui.gridLayout_2->addWidget(ui.tableView, 1, 1);
    ui.statusBar->addPermanentWidget(filterBar->countLabel());

    overviewButton = new QPushButton;
    overviewButton->setObjectName(QStringLiteral("overviewButton"));
    ui.toolBar->addWidget(overviewButton);
    connect(overviewButton, &QPushButton::clicked, this, [this] {
        if (!overview) {
            overview = new OverviewDialog(this);
            connect(overview, &OverviewDialog::identifierChosen, filterBar,
                    &FilterBar::showOnly);
        }
        // Of the whole log, whatever the filter shows.
        dataModel->showPendingRows();
        overview->showOverview(dataModel->store()->snapshot());
        overview->show();
        overview->raise();
    });
}

void Tavrix::setUpRowHeader(QHeaderView *header)
{
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultSectionSize(25);
}

// The form holds the items of the first formats, with their translated texts;
// every further writable format of the table gets its item here, at the index
// of its export code, under its name, which is not translated.
void Tavrix::addFormatItems()
{
    for (int code = ui.comboBox->count();; ++code) {
        const LogFormat *format = LogFormat::forExport(ExportFormat(code));
        if (!format)
            break;
        ui.comboBox->addItem(QLatin1String(format->displayName));
    }
}

void Tavrix::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        if (dataModel)
            dataModel->retranslate();
        retranslateTexts();
    }
    QMainWindow::changeEvent(event);
}

void Tavrix::retranslateTexts()
{
    ui.retranslateUi(this);
    if (!addFileButton)
        return; // a language change that arrives before the window is complete
    addFileButton->setText(tr("Add file"));
    clearButton->setText(tr("Clear"));
    translateButton->setText(tr("Translate"));
    if (overviewButton)
        overviewButton->setText(tr("Overview"));
    ui.label->setText(tr("Format:"));
    ui.label_2->setText(tr("Output path:"));
    ui.pushButton->setText(tr("Browse"));
    ui.label_4->setText(tr("Progress"));
    ui.pushButton_2->setText(tr("Conversion"));
    ui.label_3->setText(tr("ID sorting:"));
    ui.groupBox->setTitle(tr("Conversion Control"));
    deleteAction->setText(tr("Delete"));
    databases->retranslate();
    signalPanel->retranslate();
    signalDock->setWindowTitle(tr("Signals"));
    if (statusText)
        ui.statusBar->showMessage(statusText());
}

void Tavrix::onTranslateClicked()
{
    isEnglish = !isEnglish;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    // Removing a translator and installing a non-empty one each make the
    // application send the window a LanguageChange, which re-applies every text.
    translator = new QTranslator(this);
    translator->load(QLatin1String(isEnglish ? englishTranslation : chineseTranslation));
    QCoreApplication::installTranslator(translator);
}

void Tavrix::onAddFileClicked()
{
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, tr("Select Files"), QString(),
        tr("Data Files (%1)").arg(LogFormat::readablePatterns()));
    if (chosen.isEmpty())
        return;
    fileList += chosen;
    fileList.removeDuplicates();
    fileListModel->setStringList(fileList);
}

void Tavrix::onFileItemClicked(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= fileList.size())
        return;
    // Stops the running parse, empties the table and reads the file.
    loadingPath = fileList.at(index.row());
    worker->load(loadingPath);
    // What the stopped load told is gone with it.
    readReport->reset();
    loadClock.start();
    showLoadProgress();
    loadStatusTimer->start();
}

void Tavrix::onDeleteClicked()
{
    if (fileList.isEmpty())
        return;
    worker->stopLoad();
    fileList.clear();
    fileListModel->setStringList(fileList);
    dataModel->clearFrames();
    loadStatusTimer->stop();
    showStatus({});
}

void Tavrix::onMenuRequested(const QPoint &)
{
    if (fileList.isEmpty())
        return;
    listMenu->exec(QCursor::pos());
}

void Tavrix::onDeleteSelectedClicked()
{
    const QModelIndex index = ui.listView->currentIndex();
    if (!index.isValid() || index.row() >= fileList.size())
        return;
    fileList.removeAt(index.row());
    fileListModel->setStringList(fileList);
}

void Tavrix::onPushttonBrowse()
{
    const QString text = ui.lineEdit->text().trimmed();
    const QString start = !text.isEmpty() && QFileInfo(text).isDir()
                              ? text
                              : QCoreApplication::applicationFilePath();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Select"), start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!chosen.isEmpty())
        ui.lineEdit->setText(chosen);
}

void Tavrix::onTavrix()
{
    const auto formatCode = static_cast<quint8>(ui.comboBox->currentIndex());
    const auto orderCode = static_cast<quint8>(ui.comboBox_2->currentIndex());

    QString dir = ui.lineEdit->text().trimmed();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QString suffix;
    QString filter;
    if (const LogFormat *chosen = LogFormat::forExport(ExportFormat(formatCode))) {
        suffix = chosen->dottedSuffix();
        filter = QLatin1String(chosen->filter);
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    const QString name = QStringLiteral("CAN_Data_%1%2").arg(stamp, suffix);
    const QString suggestion = QDir(dir).absoluteFilePath(name);

    const QString path = QFileDialog::getSaveFileName(this, tr("Save CAN Data"), suggestion, filter);
    if (path.isEmpty())
        return;

    // The frames the table shows now, the filter's matches when one is set;
    // the table may change meanwhile.
    dataModel->showPendingRows();
    const FrameSnapshot frames = dataModel->shownFrames();
    if (frames.isEmpty()) {
        QMessageBox::warning(this, tr("Hit"), tr("No data available"), QMessageBox::Ok);
        return;
    }

    ui.pushButton_2->setEnabled(false);
    // A CSV gets the names the table shows.
    exporter->setDatabase(databases->database());
    worker->startExport(frames, static_cast<ExportFormat>(formatCode),
                        static_cast<SortOrder>(orderCode), path);
    progressTimer->start();
    exportPath = path;
    exportFrames = frames.size();
    exportFilteredFrom = dataModel->isFiltered() ? dataModel->scannedRows() : 0;
    const QString output = fileName(path);
    showStatus([output] { return tr("Writing %1...").arg(output); });
}

void Tavrix::showExportProgress()
{
    const int value = worker->exportPercent();
    if (value >= 0)
        onProgress(value);
}

void Tavrix::onExportFinished(bool success)
{
    // The bar shows where the export ended before the box reports it.
    progressTimer->stop();
    showExportProgress();
    // A failed export must not read as done: the user would trust a broken file.
    const QString name = fileName(exportPath);
    if (success) {
        const int frames = exportFrames;
        showStatus([name, frames] { return tr("%1 written: %2 frames").arg(name).arg(frames); });
        QString done = tr("Operation Complete");
        if (exportFilteredFrom > 0) {
            done += QLatin1Char('\n')
                    + tr("%1 of %2 frames written (filtered)").arg(frames).arg(exportFilteredFrom);
        }
        QMessageBox::information(this, tr("Hit"), done, QMessageBox::Ok);
    } else {
        const CanDataExporter::Failure failure = worker->exportFailure();
        const QString error = worker->exportSystemError();
        showStatus([name, failure, error] {
            return tr("Writing %1 failed: %2")
                .arg(name, CanDataExporter::failureText(failure, error, true));
        });
        QMessageBox::warning(this, tr("Hit"),
                             tr("Conversion failed") + QLatin1Char('\n')
                                 + CanDataExporter::failureText(failure, error, true),
                             QMessageBox::Ok);
    }
    ui.pushButton_2->setEnabled(true);
    ui.progressBar->setValue(0);
}

void Tavrix::onProgress(int value)
{
    ui.progressBar->setValue(value);
}

// The slots of the hub's signals take their texts by value, as declared.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void Tavrix::onProgressUpdated(int percent, QString message)
{
    qDebug().noquote() << "进度" << percent << "+/%100" << message;
}

void Tavrix::onDataParsed(QVector<Vemi_CANFD_Data> batch)
{
    // QWidget has a member named data, the name the slot's declaration keeps.
    if (batch.isEmpty()) {
        qDebug() << "数据" << "(empty batch)";
        return;
    }
    qDebug() << "数据" << batch.first().id;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param)
void Tavrix::onParsingFinished(bool success, QString message)
{
    qDebug().noquote() << "错误" << success << message;
}

void Tavrix::onCapacityReached(int shown)
{
    // The worker has asked the reader to stop; the table keeps its frames.
    // After this batch, not inside it: the box's own event loop would deliver
    // further batches into a model that is still inserting rows.
    QMetaObject::invokeMethod(
        this,
        [this, shown] {
            if (dataModel->scannedRows() < shown)
                return; // another file was clicked meanwhile
            QMessageBox::warning(this, tr("Hit"),
                                 tr("Too many frames: only the first %1 are shown").arg(shown),
                                 QMessageBox::Ok);
        },
        Qt::QueuedConnection);
}

void Tavrix::initStatus()
{
    readReport = new ReadReport(dataHub, this);
    loadStatusTimer = new QTimer(this);
    loadStatusTimer->setInterval(LoadStatusInterval);
    connect(loadStatusTimer, &QTimer::timeout, this, &Tavrix::showLoadProgress);
    connect(worker, &LogWorker::loadEnded, this, &Tavrix::onLoadEnded);
}

void Tavrix::showStatus(const std::function<QString()> &text)
{
    statusText = text;
    if (text)
        ui.statusBar->showMessage(text());
    else
        ui.statusBar->clearMessage();
}

void Tavrix::showLoadProgress()
{
    const QString name = fileName(loadingPath);
    const int frames = dataModel->scannedRows();
    const int percent = std::max(readReport->percent(), 0);
    showStatus([name, frames, percent] {
        return tr("Reading %1: %2 frames, %3%").arg(name).arg(frames).arg(percent);
    });
}

void Tavrix::onLoadEnded()
{
    loadStatusTimer->stop();
    const QString name = fileName(loadingPath);
    const int frames = dataModel->scannedRows();
    const ReadReport::Problem problem = readReport->problem(loadingPath, frames);
    if (problem != ReadReport::Problem::None) {
        showStatus([name, problem] {
            return tr("Cannot read %1: %2").arg(name, ReadReport::describe(problem, true));
        });
        return;
    }
    // The frames read stay shown; what the cut took is not there to show.
    if (readReport->endedEarly()) {
        showStatus([name, frames] {
            return tr("%1 ends early (damaged or cut): %2 frames read").arg(name).arg(frames);
        });
        return;
    }
    if (dataModel->store()->isFull()) {
        showStatus([name, frames] {
            return tr("The first %1 frames of %2 are shown: the table holds no more")
                .arg(frames)
                .arg(name);
        });
        return;
    }
    const QString seconds = QString::number(loadClock.elapsed() / 1000.0, 'f', 2);
    showStatus([name, frames, seconds] {
        return tr("%1 frames read from %2 in %3 s").arg(frames).arg(name, seconds);
    });
}

void Tavrix::initDatabase()
{
    databases = new DatabaseControl(this, [this](const std::function<QString()> &text) {
        showStatus(text);
    });
    ui.toolBar->addWidget(databases->button());
    signalPanel = new SignalPanel;
    signalDock = new QDockWidget(this);
    signalDock->setObjectName(QStringLiteral("signalDock"));
    signalDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    signalDock->setWidget(signalPanel);
    addDockWidget(Qt::BottomDockWidgetArea, signalDock);
    // Without a database the window is as it always was.
    signalDock->hide();
    connect(databases, &DatabaseControl::changed, this, &Tavrix::onDatabaseChanged);
    connect(ui.tableView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Tavrix::showSignals);
    connect(dataModel, &QAbstractItemModel::modelReset, this, &Tavrix::showSignals);
}

void Tavrix::onDatabaseChanged()
{
    const std::shared_ptr<const MessageDatabase> database = databases->database();
    dataModel->setDatabase(database);
    // The matcher holds the database it asks, however long the filter lives.
    FrameFilter::NameMatcher names;
    if (database) {
        names = [database, match = database->nameMatcher()](
                    const QString &pattern, std::unordered_set<uint64_t> &keys, QString &error) {
            return match(pattern, keys, error);
        };
    }
    filterBar->setNameMatcher(names);
    signalDock->setVisible(database != nullptr);
    showSignals();
}

void Tavrix::showSignals()
{
    const std::shared_ptr<const MessageDatabase> database = databases->database();
    const QModelIndex current = ui.tableView->currentIndex();
    if (!database || !current.isValid() || current.row() >= dataModel->rowCount()) {
        signalPanel->clear();
        return;
    }
    signalPanel->showFrame(*database, dataModel->frameAt(current.row()));
}
