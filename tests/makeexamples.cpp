// Writes the example logs of every format from one set of varied frames,
// through the program's own exporter. Usage: tavrix_examples <folder>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>

#include "candataexporter.h"
#include "sampleframes.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: tavrix_examples <folder>\n");
        return 2;
    }
    const QDir folder(arguments.at(1));
    // Four dozen frames: six of each kind that SampleFrames cycles through.
    const QVector<Vemi_CANFD_Data> frames = SampleFrames::varied(48);
    const struct
    {
        ExportFormat format;
        const char *name;
    } outputs[] = {{ExportFormat::Asc, "example.asc"},
                   {ExportFormat::Csv, "example.csv"},
                   {ExportFormat::Blf, "example.blf"},
                   {ExportFormat::Candump, "example.log"}};

    CanDataExporter exporter;
    for (const auto &output : outputs) {
        const QString path = folder.filePath(QLatin1String(output.name));
        if (!exporter.exportData(frames, output.format, SortOrder::None, path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
