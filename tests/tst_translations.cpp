#include <QTranslator>
#include <QtTest>

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void chineseFileCarriesEveryContext_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("exporter trailing blank") << "CanDataExporter" << "Rx " << "接收 ";
        QTest::newRow("model") << "DataModel" << "No." << "序号.";
        QTest::newRow("window") << "Tavrix" << "Kelvane" << "Kelvane-ZH";
        QTest::newRow("form") << "TavrixClass" << "from small to large" << "从小到大";
        QTest::newRow("status bar") << "Tavrix" << "%1 frames read from %2 in %3 s"
                                    << "已从 %2 读取 %1 帧，用时 %3 秒";
        QTest::newRow("read reasons") << "ReadReport" << "not a BLF file" << "不是 BLF 文件";
        QTest::newRow("database button") << "DatabaseControl" << "Database..." << "数据库…";
        QTest::newRow("signal panel") << "SignalPanel" << "Raw (hex)" << "原始值(十六进制)";
        QTest::newRow("filter count") << "FilterBar" << "%1 of %2 frames" << "%1 / %2 帧";
        QTest::newRow("filter reason") << "FrameFilter"
                                       << "'data' needs bytes in hex, ?? for any byte, as in "
                                          "data 02 10 ??"
                                       << "'data' 需要十六进制字节，?? 表示任意字节，例如 data 02 10 ??";
        QTest::newRow("overview column") << "OverviewDialog" << "Mean period (s)"
                                         << "平均周期 (秒)";
        QTest::newRow("filtered conversion") << "Tavrix" << "%1 of %2 frames written (filtered)"
                                             << "已写入 %2 帧中的 %1 帧（已过滤）";
        QTest::newRow("write reasons") << "CanDataExporter" << "no space left on the disk"
                                       << "磁盘空间不足";
    }

    void chineseFileCarriesEveryContext()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, chinese);
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/Translation/Tavrix_zh_CN.qm")));
        QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()),
                 chinese);
    }

    void englishFileHasNoMessages()
    {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/Translation/Tavrix_en_AS.qm")));
        QVERIFY(translator.translate("Tavrix", "Add file").isEmpty());
        QCOMPARE(translator.language(), QStringLiteral("en_AS"));
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
