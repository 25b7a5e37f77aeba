#include "filelistmodel.h"

#include <QDir>
#include <QFileInfo>

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QStringListModel::data(index, role);
    const QVariant stored = QStringListModel::data(index, Qt::EditRole);
    if (!stored.isValid())
        return stored;
    const QString path = stored.toString();
    if (role == Qt::ToolTipRole)
        return QDir::toNativeSeparators(path);
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}
