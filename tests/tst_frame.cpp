#include <cstring>

#include <QObject>
#include <QThread>
#include <QtTest>

#include "vemi_canfd_data.h"

namespace {

bool allBytesZero(const void *p, std::size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(p);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

Vemi_CANFD_Data filledFrame(uint8_t value)
{
    Vemi_CANFD_Data frame;
    std::memset(static_cast<void *>(&frame), value, sizeof frame);
    frame.timeText[31] = '\0';
    return frame;
}

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void take(const QVector<Vemi_CANFD_Data> &data) { received = data; }

public:
    QVector<Vemi_CANFD_Data> received;
};

class Sender : public QObject
{
    Q_OBJECT
signals:
    void batch(const QVector<Vemi_CANFD_Data> &data);
};

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void defaultIsAllZero()
    {
        const Vemi_CANFD_Data frame;
        QVERIFY(allBytesZero(&frame, sizeof frame));
        QCOMPARE(frame.timeText[0], '\0');
    }

    void assignmentCopiesOnlyPayloadBytes()
    {
        Vemi_CANFD_Data source = filledFrame(0x00);
        source.length = 3;
        source.data[0] = 0xA1;
        source.data[1] = 0xA2;
        source.data[2] = 0xA3;
        source.data[3] = 0xA4; // beyond length: must not travel
        qstrcpy(source.timeText, "0.123456");
        source.timeText[20] = 'z'; // after the NUL: the whole field travels

        Vemi_CANFD_Data copyTarget = filledFrame(0x5A);
        copyTarget = source;
        Vemi_CANFD_Data moveTarget = filledFrame(0x5A);
        moveTarget = std::move(source);

        for (const Vemi_CANFD_Data *target : {&copyTarget, &moveTarget}) {
            QCOMPARE(target->length, uint8_t(3));
            QCOMPARE(target->data[0], uint8_t(0xA1));
            QCOMPARE(target->data[2], uint8_t(0xA3));
            for (int i = 3; i < 64; ++i)
                QCOMPARE(target->data[i], uint8_t(0x5A));
            QCOMPARE(QByteArray(target->timeText), QByteArray("0.123456"));
            QCOMPARE(target->timeText[20], 'z');
            QCOMPARE(target->timestamp, uint64_t(0));
        }
    }

    void copyConstructionCopiesEverything()
    {
        Vemi_CANFD_Data source = filledFrame(0x77);
        source.length = 1;
        const Vemi_CANFD_Data copy(source);
        QCOMPARE(std::memcmp(&copy, &source, sizeof copy), 0);
    }

    void damagedLengthNeverCopiesPastTheRecord()
    {
        Vemi_CANFD_Data source = filledFrame(0x42);
        source.length = 200;
        Vemi_CANFD_Data target;
        target = source;
        QCOMPARE(target.length, uint8_t(200));
        QCOMPARE(target.data[63], uint8_t(0x42));
    }

    void kindBits()
    {
        Vemi_CANFD_Data frame;
        frame.id = 0x123 | Vemi_CANFD_Data::RemoteBit | Vemi_CANFD_Data::ExtendedBit;
        QCOMPARE(frame.id & 0x20000000u, 0x20000000u);
        QCOMPARE(frame.id & 0x40000000u, 0x40000000u);
        QCOMPARE(frame.id & 0x1FFFFFFFu, 0x123u);

        frame.setProtocol(Vemi_CANFD_Data::ProtocolCanFdBrs);
        frame.setDirection(1);
        QCOMPARE(frame.flags, uint8_t(0x43));
        frame.setProtocol(0);
        frame.setDirection(0);
        QCOMPARE(frame.flags, uint8_t(0x00));
    }

    void timeTextIsCutAt31Bytes()
    {
        Vemi_CANFD_Data frame;
        const QByteArray text(40, '7');
        frame.setTimeText(text.constData(), std::size_t(text.size()));
        QCOMPARE(qstrlen(frame.timeText), 31u);
        QCOMPARE(frame.timeText[31], '\0');
    }

    void registeredByName()
    {
        registerFrameMetaTypes();
        QVERIFY(QMetaType::type("Vemi_CANFD_Data") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("QVector<Vemi_CANFD_Data>") != QMetaType::UnknownType);
    }

    void batchCrossesThreadsIntact()
    {
        registerFrameMetaTypes();
        Receiver receiver;
        Sender sender;
        QThread worker;
        sender.moveToThread(&worker);
        connect(&sender, &Sender::batch, &receiver, &Receiver::take);

        QVector<Vemi_CANFD_Data> batch(3);
        for (int i = 0; i < batch.size(); ++i) {
            batch[i].id = uint32_t(0x100 + i);
            batch[i].length = 64;
            std::memset(batch[i].data, 0xC0 + i, 64);
            batch[i].timestamp = 1000u * uint64_t(i);
        }
        QObject::connect(&worker, &QThread::started, &sender, [&] { emit sender.batch(batch); });
        worker.start();
        QTRY_COMPARE(receiver.received.size(), 3);
        worker.quit();
        worker.wait();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(std::memcmp(&receiver.received[i], &batch[i], sizeof batch[i]), 0);
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
