#pragma once

#include <QStringListModel>

// The file list: the entries are full paths, as added, and the view shows
// each file's name, with the full path as its tooltip.
class FileListModel final : public QStringListModel
{
    Q_OBJECT

public:
    using QStringListModel::QStringListModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};
