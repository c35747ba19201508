#include "FramePacer.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>
#include <QtTest>

namespace {

// Counts the update requests that reach the window past the pacer.
struct Arrivals : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::UpdateRequest)
            ++count;
        return false;
    }
};

} // namespace

class FramePacerTest : public QObject
{
    Q_OBJECT
private slots:
    void capsRequests_data();
    void capsRequests();
    void heldRequestIsRenderedLater();
    void heldRequestServedByNextFrame();
};

void FramePacerTest::capsRequests_data()
{
    // Steps "t:r" (an update request at t ms) or "t:i" (input at t ms); passed = how many
    // requests reach the window.
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("passed");
    QTest::newRow("first always") << 80 << "0:r" << 1;
    QTest::newRow("sooner held") << 80 << "0:r 10:r 79:r" << 1;
    QTest::newRow("one per interval") << 80 << "0:r 80:r 100:r 160:r 239:r 240:r" << 4;
    QTest::newRow("playing pace") << 40 << "0:r 40:r 60:r 80:r" << 3;
    // The user moving the camera: 60 frames a second for half a second after the input.
    QTest::newRow("input lifts the cap") << 80 << "0:r 5:i 16:r 32:r 40:r 48:r" << 4;
    QTest::newRow("and it returns") << 80 << "0:i 16:r 32:r 600:r 620:r 680:r" << 4;
}

void FramePacerTest::capsRequests()
{
    QFETCH(int, interval);
    QFETCH(QString, steps);
    QFETCH(int, passed);
    QWindow window;
    window.create();
    Arrivals arrivals;
    window.installEventFilter(&arrivals); // before the pacer, so it sees what the pacer lets by
    qint64 now = 0;
    FramePacer pacer(&window, interval);
    pacer.setClock([&now] { return now; });
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        now = step.section(QLatin1Char(':'), 0, 0).toLongLong();
        if (step.endsWith(QLatin1String(":i"))) {
            QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(&window, &move);
        } else {
            QEvent request(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(&window, &request);
        }
    }
    QCOMPARE(arrivals.count, passed);
}

void FramePacerTest::heldRequestIsRenderedLater()
{
    QWindow window;
    window.create();
    Arrivals arrivals;
    window.installEventFilter(&arrivals);
    qint64 now = 0;
    FramePacer pacer(&window, 80);
    pacer.setClock([&now] { return now; });
    QEvent first(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &first);
    now = 30;
    QEvent second(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &second);
    QCOMPARE(arrivals.count, 1);
    // Once the interval is over the held request is asked for again and let through.
    now = 80;
    QTRY_COMPARE(arrivals.count, 2);
}

void FramePacerTest::heldRequestServedByNextFrame()
{
    // A request held at 30 ms, then a frame let through at 80 ms that draws what it held:
    // when the pacer's timer comes, no further frame is asked for.
    QWindow window;
    window.create();
    Arrivals arrivals;
    window.installEventFilter(&arrivals);
    qint64 now = 0;
    FramePacer pacer(&window, 80);
    pacer.setClock([&now] { return now; });
    QEvent first(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &first);
    now = 30;
    QEvent held(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &held);
    now = 80;
    QEvent next(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &next);
    QCOMPARE(arrivals.count, 2);
    // Long past the interval: a frame asked for now would be let through at once.
    now = 1000;
    // The pacer's timer (50 ms) and the window's own update delay have passed by then.
    bool over = false;
    QTimer::singleShot(400, [&over] { over = true; });
    QTRY_VERIFY(over);
    QCOMPARE(arrivals.count, 2);
}

QTEST_MAIN(FramePacerTest)
#include "tst_framepacer.moc"
