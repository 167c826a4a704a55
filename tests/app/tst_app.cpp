#include "app/CAppGlobals.h"
#include "tests/common/TestSupport.h"

#include <QtTest>

class TestApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extrasSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("expected");
        QTest::newRow("none") << QStringList{"korvalent"} << false;
        QTest::newRow("alone") << QStringList{"korvalent", "-extras"} << true;
        QTest::newRow("among others") << QStringList{"korvalent", "-demo", "-extras", "x"} << true;
        QTest::newRow("capitals") << QStringList{"korvalent", "-EXTRAS"} << false;
        QTest::newRow("prefix only") << QStringList{"korvalent", "-extrasX"} << false;
        QTest::newRow("shorter") << QStringList{"korvalent", "-extra"} << false;
        QTest::newRow("program name is not an argument") << QStringList{"-extras"} << false;
    }
    void extrasSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, expected);
        QCOMPARE(HasExtrasSwitch(arguments), expected);
        QList<QByteArray> bytes;
        QList<const char*> argv;
        for (const QString& a : arguments)
            bytes.append(a.toUtf8());
        for (const QByteArray& b : bytes)
            argv.append(b.constData());
        QCOMPARE(HasExtrasSwitch(int(argv.size()), argv.data()), expected);
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
