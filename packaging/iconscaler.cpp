// Build tool: writes the program icon at smaller sizes for the icon theme,
// as <folder>/<n>x<n>/tavrix.png. Usage: tavrix_iconscaler ICON FOLDER SIZE...
#include <cstdio>

#include <QDir>
#include <QImage>
#include <QString>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ICON FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString sizeFolder = folder + QStringLiteral("/%1x%1").arg(size);
        const QImage scaled =
            icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (size <= 0 || !QDir().mkpath(sizeFolder)
            || !scaled.save(sizeFolder + QStringLiteral("/tavrix.png"), "PNG")) {
            std::fprintf(stderr, "%s: cannot write the %s pixel icon\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
