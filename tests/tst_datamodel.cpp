#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "datamodel.h"
#include "messagedatabase.h"
#include "testsupport.h"

using TestSupport::makeFrame;

namespace {

// Hands out indexes that DataModel::index() would refuse, to probe data()
// with rows and columns outside the table.
class ForeignIndexes final : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex & = QModelIndex()) const override { return 0; }
    int columnCount(const QModelIndex & = QModelIndex()) const override { return 0; }
    QVariant data(const QModelIndex &, int) const override { return {}; }
    QModelIndex make(int row, int column) const { return createIndex(row, column); }
};

QVector<Vemi_CANFD_Data> batchOf(int count, uint32_t firstId)
{
    QVector<Vemi_CANFD_Data> batch;
    batch.reserve(count);
    for (int i = 0; i < count; ++i)
        batch << makeFrame(firstId + uint32_t(i), 8);
    return batch;
}

QStringList rowTexts(const DataModel &model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

QStringList headerTexts(const DataModel &model)
{
    QStringList texts;
    for (int section = 0; section < model.columnCount(); ++section)
        texts << model.headerData(section, Qt::Horizontal).toString();
    return texts;
}

Vemi_CANFD_Data withTimeText(Vemi_CANFD_Data frame, const char *text)
{
    frame.setTimeText(text, qstrlen(text));
    return frame;
}

} // namespace

class TestDataModel : public QObject
{
    Q_OBJECT

private slots:
    void databaseNames();
    void emptyModelShowsTitles()
    {
        DataModel model;
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(headerTexts(model),
                 (QStringList{"No.", "Time", "Dir", "Name", "ID(HEX)", "Pro", "Format", "Type",
                              "Len", "Data"}));
    }

    void cellTexts_data()
    {
        QTest::addColumn<Vemi_CANFD_Data>("frame");
        QTest::addColumn<QStringList>("texts"); // columns 1 to 9

        QTest::newRow("extended") << withTimeText(makeFrame(0x123ABC, 0, 2, true), "12.5")
                                  << QStringList{"12.5", "rec", " ", "123ABC", "CANFD",
                                                 "Data frame", "Extended frame", "0", ""};
        QTest::newRow("standard small id") << makeFrame(0x7, 1, 0, false, false, true)
                                           << QStringList{"", "send", " ", "7", "CAN",
                                                          "Data frame", "Standard frame", "1",
                                                          "11"};
        QTest::newRow("protocol 1 blank") << makeFrame(0, 0, 1)
                                          << QStringList{"", "rec", " ", "0", " ", "Data frame",
                                                         "Standard frame", "0", ""};
        Vemi_CANFD_Data bytes = makeFrame(0x1FFFFFFF, 3, 3, true, true);
        bytes.data[0] = 0x0A;
        bytes.data[1] = 0xFF;
        bytes.data[2] = 0x00;
        bytes.data[3] = 0x77; // beyond length: never shown
        QTest::newRow("bytes and remote") << bytes
                                          << QStringList{"", "rec", " ", "1FFFFFFF", "CANFD BRS",
                                                         "Remote frame", "Extended frame", "3",
                                                         "0A FF 00"};
        QString full;
        for (int i = 0; i < 64; ++i)
            full += QString::asprintf(i ? " %02X" : "%02X", (0x80 + i) & 0xFF);
        QTest::newRow("64 bytes") << makeFrame(0x100, 64, 2, false, false, false, 0, 0x80)
                                  << QStringList{"", "rec", " ", "100", "CANFD", "Data frame",
                                                 "Standard frame", "64", full};
        // The table reads the direction from bit 6 alone.
        Vemi_CANFD_Data bit7 = makeFrame(0x1, 0);
        bit7.setDirection(2);
        QTest::newRow("direction bit 7 only") << bit7
                                              << QStringList{"", "rec", " ", "1", "CAN",
                                                             "Data frame", "Standard frame", "0",
                                                             ""};
        QTest::newRow("utf-8 time text") << withTimeText(makeFrame(0x2, 0), "时间 12:00")
                                         << QStringList{"时间 12:00", "rec", " ", "2", "CAN",
                                                        "Data frame", "Standard frame", "0", ""};
    }

    void cellTexts()
    {
        QFETCH(Vemi_CANFD_Data, frame);
        QFETCH(QStringList, texts);
        DataModel model;
        model.appendFrames({makeFrame(0x555, 2), frame});
        QCOMPARE(rowTexts(model, 1).mid(1), texts);
        // Row numbers count from 0; the number and length cells are integers.
        QCOMPARE(model.data(model.index(0, DataModel::NumberColumn)), QVariant(0));
        QCOMPARE(model.data(model.index(1, DataModel::NumberColumn)), QVariant(1));
        QCOMPARE(model.data(model.index(1, DataModel::LengthColumn)), QVariant(int(frame.length)));
        // The Data cell's tooltip: the whole payload, 16 bytes a line; no
        // other cell has one.
        const QVariant tip = model.data(model.index(1, DataModel::DataColumn), Qt::ToolTipRole);
        QCOMPARE(tip.isValid(), frame.length > 0);
        const QStringList lines = tip.toString().split(QLatin1Char('\n'));
        QCOMPARE(lines.join(QLatin1Char(' ')), texts.last());
        QCOMPARE(lines.size(), std::max((frame.length + 15) / 16, 1));
        for (const QString &line : lines)
            QVERIFY(line.size() <= 16 * 3 - 1);
        QVERIFY(!model.data(model.index(1, DataModel::IdColumn), Qt::ToolTipRole).isValid());
    }

    void invalidQueries()
    {
        DataModel model;
        model.appendFrames(batchOf(3, 0x10));
        ForeignIndexes foreign;
        QVERIFY(!model.data(QModelIndex()).isValid());
        QVERIFY(!model.data(model.index(0, DataModel::IdColumn), Qt::EditRole).isValid());
        QVERIFY(!model.data(model.index(0, DataModel::IdColumn), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(foreign.make(3, 0)).isValid());
        QVERIFY(!model.data(foreign.make(0, 10)).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::EditRole).isValid());
        QVERIFY(!model.headerData(10, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(-1, Qt::Horizontal).isValid());
        QCOMPARE(model.rowCount(model.index(0, DataModel::NumberColumn)), 0);
        QVERIFY(!(model.flags(model.index(0, DataModel::NumberColumn)) & Qt::ItemIsEditable));
    }

    void batchesUnderTester()
    {
        DataModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy aboutToInsert(&model, &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        model.appendFrames({});
        QCOMPARE(aboutToInsert.count() + inserted.count() + reset.count(), 0);
        QCOMPARE(model.rowCount(), 0);

        model.appendFrames(batchOf(2000, 0));
        model.appendFrames(batchOf(2000, 2000));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 2000);
        QCOMPARE(inserted.at(1).at(2).toInt(), 3999);
        QVERIFY(!inserted.at(1).at(0).value<QModelIndex>().isValid());
        QCOMPARE(model.rowCount(), 4000);

        model.appendFrames({});
        model.appendFrames(batchOf(1, 4000));
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 4000);
        QCOMPARE(inserted.at(2).at(2).toInt(), 4000);

        // Rows keep arrival order, and frames() hands back exactly those frames.
        const QVector<Vemi_CANFD_Data> &frames = model.frames();
        QCOMPARE(frames.size(), 4001);
        for (int row : {0, 1999, 2000, 4000}) {
            QCOMPARE(frames.at(row).identifier(), uint32_t(row));
            QCOMPARE(model.data(model.index(row, DataModel::IdColumn)).toString(),
                     QString::number(row, 16).toUpper());
        }

        model.clearFrames();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.frames().isEmpty());

        model.clearFrames();
        QCOMPARE(reset.count(), 2);
        model.appendFrames(batchOf(5, 0x700));
        QCOMPARE(inserted.last().at(1).toInt(), 0);
        QCOMPARE(inserted.last().at(2).toInt(), 4);
    }

    // A selection shows the chosen rows with their store rows, takes the
    // matches of frames that arrive later, survives the store being emptied
    // for the next file, and is shared with a conversion's snapshot without
    // that snapshot changing as rows arrive.
    void selectionUnderTester()
    {
        DataModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.appendFrames(batchOf(100, 0));
        const FrameFilter odd = FrameFilter::parse(QStringLiteral("1,3,5,51-5F"));
        model.setSelection(odd, odd.select(FrameSnapshot(model.frames())), 100);
        QVERIFY(model.isFiltered());
        QCOMPARE(model.rowCount(), 3 + 15);
        QCOMPARE(model.scannedRows(), 100);
        QCOMPARE(model.data(model.index(3, DataModel::NumberColumn)).toInt(), 0x51);
        QCOMPARE(model.headerData(3, Qt::Vertical).toInt(), 0x51);
        QVERIFY(!model.headerData(18, Qt::Vertical).isValid());
        QCOMPARE(model.sourceRow(17), 0x5F);
        QCOMPARE(model.sourceRow(18), -1);

        const FrameSnapshot converted = model.shownFrames();
        QCOMPARE(converted.size(), 18);
        inserted.clear();
        model.appendFrames(batchOf(100, 0)); // identifiers 0 to 0x63 again
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 18);
        QCOMPARE(model.rowCount(), 36);
        QCOMPARE(model.scannedRows(), 200);
        QCOMPARE(model.sourceRow(18), 101);
        QCOMPARE(converted.size(), 18);
        QCOMPARE(converted.identifierAt(17), uint32_t(0x5F));
        model.appendFrames(batchOf(10, 0x200));
        QCOMPARE(model.rowCount(), 36);
        QCOMPARE(model.scannedRows(), 210);

        const quint64 generation = model.generation();
        model.clearFrames();
        QVERIFY(model.isFiltered());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.generation() != generation);
        model.appendFrames(batchOf(6, 0));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.sourceRow(2), 5);

        model.clearSelection();
        QVERIFY(!model.isFiltered());
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.data(model.index(2, DataModel::NumberColumn)).toInt(), 2);
        QVERIFY(!model.headerData(2, Qt::Vertical).isValid());
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.clearSelection();
        QCOMPARE(reset.count(), 0);
    }

    void retranslateToChinese()
    {
        DataModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.appendFrames({makeFrame(0x1, 0, 0, false, false, false),
                            makeFrame(0x2, 1, 1, true, true, true),
                            makeFrame(0x3, 2, 2), makeFrame(0x4, 3, 3)});
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        QTranslator chinese;
        QVERIFY(chinese.load(QStringLiteral(":/Translation/Tavrix_zh_CN.qm")));
        QVERIFY(QCoreApplication::installTranslator(&chinese));
        model.retranslate();
        QCoreApplication::removeTranslator(&chinese);

        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(headerTexts(model),
                 (QStringList{"序号.", "时间", "方向", "名称", "ID(HEX)", "协议", "帧格式",
                              "帧类型", "长度", "数据"}));
        QCOMPARE(rowTexts(model, 0).mid(2, 6),
                 (QStringList{"接收", " ", "1", "CAN", "数据帧", "标准帧"}));
        QCOMPARE(rowTexts(model, 1).mid(2, 6),
                 (QStringList{"发送", " ", "2", " ", "远程帧", "扩展帧"}));
        QCOMPARE(model.data(model.index(2, DataModel::ProtocolColumn)).toString(),
                 QStringLiteral("CANFD"));
        QCOMPARE(model.data(model.index(3, DataModel::ProtocolColumn)).toString(),
                 QStringLiteral("CANFD BRS"));

        // Without the translator the source texts come back.
        model.retranslate();
        QCOMPARE(reset.count(), 2);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("No."));
        QCOMPARE(model.data(model.index(1, DataModel::DirectionColumn)).toString(),
                 QStringLiteral("send"));
    }
};

// With a database the Name column shows the message of the identifier and
// its type (standard or extended), looked up when the cell is drawn; the
// rows already shown are told that their names changed.
void TestDataModel::databaseNames()
{
    QTemporaryDir dir;
    auto database = std::make_shared<MessageDatabase>();
    QVERIFY(database->load(TestSupport::writeFile(dir.path(), QStringLiteral("car.dbc"),
                                                  TestSupport::sampleDbc())).ok);
    using TestSupport::makeFrame;
    DataModel model;
    QAbstractItemModelTester tester(&model);
    // Door is 0x200 extended: the standard 0x200 and the extended 0x100 are
    // other messages.
    model.appendFrames({makeFrame(0x100, 8), makeFrame(0x200, 2, 0, true),
                        makeFrame(0x200, 2), makeFrame(0x100, 8, 0, true)});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setDatabase(database);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].toModelIndex(), model.index(0, DataModel::NameColumn));
    QCOMPARE(changed[0][1].toModelIndex(), model.index(3, DataModel::NameColumn));
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, DataModel::NameColumn).data().toString();
    QCOMPARE(names, (QStringList{"Engine", "Door", " ", " "}));
    model.setDatabase(nullptr);
    QCOMPARE(model.index(0, DataModel::NameColumn).data().toString(), QStringLiteral(" "));
}

QTEST_GUILESS_MAIN(TestDataModel)
#include "tst_datamodel.moc"
