#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

#include "exportformat.h"

// One input file and the file it becomes. A job with a problem cannot be
// converted; the problem says why.
struct ConversionJob
{
    QString input;
    QString output;
    QString problem;
};

// Turns the command line's inputs, output and format into one job per file.
// Refuses, before anything is written, a command line that would destroy data:
// two inputs that become the same output, or an output that is one of the inputs.
class ConversionPlan final
{
    Q_DECLARE_TR_FUNCTIONS(ConversionPlan)

public:
    // The name of a writable format ("asc", "csv", ...) in any letter case.
    static bool formatFromName(const QString &name, ExportFormat &format);
    // The suffix of a writable format, in any letter case, without the dot.
    static bool formatFromSuffix(const QString &suffix, ExportFormat &format);

    // formatName empty: taken from the output file's suffix. False with error()
    // set when the command line cannot be carried out.
    bool build(const QStringList &inputs, const QString &output, const QString &formatName);

    // --overview: one input file and the file its CSV goes to, none for
    // standard output, which must not be the input.
    bool buildOverview(const QStringList &inputs, const QString &output);

    QString error() const { return problem; }
    ExportFormat format() const { return outputFormat; }
    const QVector<ConversionJob> &jobs() const { return planned; }
    // The folder the outputs go to, created when missing; empty when the
    // output is a single file.
    QString outputFolder() const { return folder; }

private:
    bool outputIsFolder(const QStringList &inputs, const QString &output) const;
    void addFolder(const QString &inputFolder, const QString &outputFolder);
    bool fail(const QString &reason);
    bool checkCollisions();

    QString problem;
    QString folder;
    ExportFormat outputFormat = ExportFormat::Asc;
    QVector<ConversionJob> planned;
};
