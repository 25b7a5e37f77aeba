#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include <QCoreApplication>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include "dbcdatabase.h"
#include "framefilter.h"
#include "vemi_canfd_data.h"

// The DBC databases loaded, in the terms the window, the writers and the
// filter use: message names as texts, a frame's decoded signals, and the
// messages a name pattern matches. Const calls are safe on any thread.
class MessageDatabase final
{
    Q_DECLARE_TR_FUNCTIONS(MessageDatabase)

public:
    // What loading one file came to: false with the error (file, line and
    // column); the warnings either way.
    struct Loaded
    {
        bool ok = false;
        QString error;
        QStringList warnings;
    };

    // One signal of a decoded frame, ready to show.
    struct Signal
    {
        QString name;
        QString value;     // the physical value
        QString unit;
        QString valueText; // from the signal's value table, or empty
        QString raw;       // the raw bits in hexadecimal
    };

    Loaded load(const QString &path);
    void clear();
    bool isEmpty() const { return dbc.isEmpty(); }
    QStringList files() const { return loaded; }

    // The message name of an identifier; empty when no database names it.
    QString name(uint32_t identifier, bool extended) const;
    QString name(const Vemi_CANFD_Data &frame) const
    {
        return name(frame.identifier(), frame.isExtended());
    }
    // The signals of the frame's message that the frame carries; none for a
    // frame no database describes.
    QVector<Signal> decode(const Vemi_CANFD_Data &frame) const;
    const DbcMessage *message(const Vemi_CANFD_Data &frame) const
    {
        return dbc.find(frame.identifier(), frame.isExtended());
    }
    // For the filter's "name" term.
    FrameFilter::NameMatcher nameMatcher() const;

    const DbcDatabase &database() const { return dbc; }

    // A file's bytes as text: UTF-8 where they are, else Latin-1.
    static QString text(const std::string &bytes);
    // A physical value as the signal tables show it: no trailing zeros.
    static QString valueText(double value);

private:
    DbcDatabase dbc;
    QStringList loaded;
    QHash<uint32_t, QString> names; // by DbcMessage::key
};
