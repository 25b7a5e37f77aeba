#pragma once

#include <QTreeWidget>

class MessageDatabase;
struct Vemi_CANFD_Data;

// The decoded signals of one frame, a row each: name, physical value, unit,
// the value table's text and the raw bits in hexadecimal.
class SignalPanel final : public QTreeWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn, ValueColumn, UnitColumn, ValueTextColumn, RawColumn, ColumnCount };

    explicit SignalPanel(QWidget *parent = nullptr);

    // The signals database decodes from frame; no rows for a frame that no
    // message describes.
    void showFrame(const MessageDatabase &database, const Vemi_CANFD_Data &frame);
    // Column titles in the language installed now.
    void retranslate();
};
