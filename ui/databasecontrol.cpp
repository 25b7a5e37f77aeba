#include "databasecontrol.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>

#include "messagedatabase.h"

namespace {

const char *const filesKey = "Databases/Files";

} // namespace

DatabaseControl::DatabaseControl(QWidget *parentWindow, StatusSink sink)
    : QObject(parentWindow)
    , window(parentWindow)
    , status(std::move(sink))
    , toolButton(new QToolButton(parentWindow))
    , menu(new QMenu(toolButton))
    , clearAction(new QAction(this))
{
    toolButton->setObjectName(QStringLiteral("databaseButton"));
    toolButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolButton->setPopupMode(QToolButton::MenuButtonPopup);
    toolButton->setMenu(menu);
    clearAction->setObjectName(QStringLiteral("clearDatabasesAction"));
    clearAction->setEnabled(false);
    menu->addAction(clearAction);
    connect(toolButton, &QToolButton::clicked, this, &DatabaseControl::choose);
    connect(clearAction, &QAction::triggered, this, &DatabaseControl::unload);
    retranslate();
}

DatabaseControl::~DatabaseControl() = default;

std::shared_ptr<const MessageDatabase> DatabaseControl::database() const
{
    return current;
}

QString DatabaseControl::settingsPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return folder.isEmpty() ? QString() : folder + QLatin1String("/tavrix.ini");
}

void DatabaseControl::retranslate()
{
    toolButton->setText(tr("Database..."));
    toolButton->setToolTip(tr("Load DBC databases: message names and signals"));
    clearAction->setText(tr("Clear databases"));
}

void DatabaseControl::restore()
{
    const QString path = settingsPath();
    if (path.isEmpty())
        return;
    const QStringList files = QSettings(path, QSettings::IniFormat).value(filesKey).toStringList();
    if (!files.isEmpty())
        add(files, false);
}

void DatabaseControl::choose()
{
    const QStringList chosen = QFileDialog::getOpenFileNames(
        window, tr("Select databases"), QString(), tr("DBC databases (*.dbc);;All files (*)"));
    if (!chosen.isEmpty())
        add(chosen, true);
}

void DatabaseControl::unload()
{
    if (!current)
        return;
    current.reset();
    clearAction->setEnabled(false);
    remember();
    status([] { return tr("Databases unloaded: no message names"); });
    emit changed();
}

bool DatabaseControl::add(const QStringList &paths, bool interactive)
{
    // A copy gets the new files: the database in use stays as it is.
    auto next = current ? std::make_shared<MessageDatabase>(*current)
                        : std::make_shared<MessageDatabase>();
    const int before = next->files().size();
    QStringList errors;
    QStringList warnings;
    for (const QString &path : paths) {
        if (next->files().contains(path))
            continue;
        const MessageDatabase::Loaded loaded = next->load(path);
        warnings += loaded.warnings;
        if (!loaded.ok)
            errors << loaded.error;
    }
    const bool grew = next->files().size() > before;
    if (grew) {
        current = next;
        clearAction->setEnabled(true);
        if (interactive)
            remember();
        emit changed();
    }

    if (!errors.isEmpty()) {
        const QString first = errors.first();
        const int more = errors.size() - 1;
        status([first, more] {
            return more > 0 ? tr("Database not loaded: %1 (and %2 more)").arg(first).arg(more)
                            : tr("Database not loaded: %1").arg(first);
        });
    } else if (grew) {
        const int messages = int(current->database().messages().size());
        QStringList names;
        for (const QString &file : current->files())
            names << QFileInfo(file).fileName();
        const QString files = names.join(QStringLiteral(", "));
        const int warned = warnings.size();
        status([messages, files, warned] {
            const QString loaded =
                tr("Databases loaded: %1; messages: %2").arg(files).arg(messages);
            return warned > 0 ? loaded + tr("; warnings: %1").arg(warned) : loaded;
        });
    }
    if (interactive && (!errors.isEmpty() || !warnings.isEmpty())) {
        QString text = errors.join(QLatin1Char('\n'));
        if (!warnings.isEmpty()) {
            if (!text.isEmpty())
                text += QLatin1Char('\n');
            text += tr("Warnings: %1 (see the details)").arg(warnings.size());
        }
        QMessageBox box(errors.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                        tr("Database"), text, QMessageBox::Ok, window);
        box.setObjectName(QStringLiteral("databaseBox"));
        if (!warnings.isEmpty())
            box.setDetailedText(warnings.join(QLatin1Char('\n')));
        box.exec();
    }
    return errors.isEmpty();
}

void DatabaseControl::remember() const
{
    const QString path = settingsPath();
    if (path.isEmpty())
        return;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(filesKey, current ? current->files() : QStringList());
}
