#include "signalpanel.h"

#include <QHeaderView>

#include "messagedatabase.h"

SignalPanel::SignalPanel(QWidget *parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("signalPanel"));
    setColumnCount(ColumnCount);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    header()->setStretchLastSection(true);
    retranslate();
}

void SignalPanel::showFrame(const MessageDatabase &database, const Vemi_CANFD_Data &frame)
{
    clear();
    QList<QTreeWidgetItem *> rows;
    for (const MessageDatabase::Signal &signal : database.decode(frame)) {
        rows << new QTreeWidgetItem(
            QStringList{signal.name, signal.value, signal.unit, signal.valueText, signal.raw});
        rows.last()->setTextAlignment(ValueColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    addTopLevelItems(rows);
}

void SignalPanel::retranslate()
{
    setHeaderLabels(
        QStringList{tr("Signal"), tr("Value"), tr("Unit"), tr("Value text"), tr("Raw (hex)")});
}
