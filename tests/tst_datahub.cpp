#include <QtTest>

#include "datahub.h"
#include "testsupport.h"

class TestDataHub : public QObject
{
    Q_OBJECT

private slots:
    void placeholder() { QVERIFY(true); }
};

QTEST_GUILESS_MAIN(TestDataHub)
#include "tst_datahub.moc"
