#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

class MessageDatabase;

// The window's DBC databases: the tool bar button "Database..." that loads
// files, its menu entry that unloads them all, and the list of files loaded,
// kept for the next start in the program's own settings file (never in
// Config.ini, which stays read-only). A load makes a new database and hands
// it out whole, so an export that still writes with the old one keeps it.
class DatabaseControl final : public QObject
{
    Q_OBJECT

public:
    // What the status bar shows, made again in each language.
    using StatusSink = std::function<void(const std::function<QString()> &text)>;

    DatabaseControl(QWidget *window, StatusSink status);
    ~DatabaseControl() override;

    // Put into the tool bar by the window.
    QToolButton *button() const { return toolButton; }
    // The databases loaded; null when none is.
    std::shared_ptr<const MessageDatabase> database() const;

    // Loads the files remembered from the last run; what cannot be loaded is
    // told in the status bar and stays remembered.
    void restore();
    void retranslate();

    // Where the remembered files are kept: an INI file in the user's
    // configuration folder for this program.
    static QString settingsPath();

signals:
    // The database was loaded, added to or unloaded.
    void changed();

private:
    // "Database...": files chosen in a dialog, added to those loaded.
    void choose();
    // "Clear databases": nothing loaded, nothing remembered.
    void unload();
    // Adds the files not loaded yet; false when one of them failed. The
    // status bar tells what came of it; interactive, a box shows errors and
    // warnings with their file, line and column.
    bool add(const QStringList &paths, bool interactive);
    void remember() const;

    QWidget *window;
    StatusSink status;
    QToolButton *toolButton;
    QMenu *menu;
    QAction *clearAction;
    std::shared_ptr<const MessageDatabase> current;
};
