#include "data_options/frm_pellet.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_options.h"
#include "main_window/clickable_label.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/app_error.h"
#include "services/timestamps.h"
#include "shot/record_shot.h"
#include "storage/settings_store.h"
#include "test_app.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace {
QStringList summary(frmMain& m)
{
    QStringList cells;
    for (int c = 0; c < 9; ++c)
        cells.append(m.MSFlexGrid2->TextMatrix(1, c));
    return cells;
}

QStringList listLines(frmMain& m)
{
    QStringList lines = m.Text1->Text().split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the final CR LF
    return lines;
}

void sendLine(TestApp& app, const QByteArray& line)
{
    app.serial->feed(line);
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void startsWithTheDefaults()
    {
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.windowTitle(), QStringLiteral("Velmora v1.6"));
        QCOMPARE(app.prompt.shown.size(), 1);
        QCOMPARE(app.prompt.shown[0].title, QStringLiteral("USB FAILED!"));
        QCOMPARE(app.prompt.shown[0].text,
                 QStringLiteral("This machine does not support the HID USB drivers neccessary to use a CED M2 "
                                "Chronograph.  CED M2 will be disabled."));
        QVERIFY(app.prompt.shown[0].icon == Prompt::Icon::Critical);
        QVERIFY(m.session().disableHID);
        QVERIFY(m.options().chronoType->isSelected(1));
        QCOMPARE(m.options().lstComm->currentText(), QStringLiteral("1"));
        QVERIFY(m.session().MSComm1->PortOpen());
        QCOMPARE(m.session().MSComm1->Settings(), QStringLiteral("4800,n,8,1"));
        QCOMPARE(app.serial->openedSettings.baud, 4800);
        QVERIFY(m.pellet().optType->isSelected(6));
        QVERIFY(m.optSpeed->isSelected(1));
        QVERIFY(m.optPower->isSelected(1));
        QVERIFY(m.pellet().selWeight->isSelected(1));
        QCOMPARE(m.pellet().txtWeight->text(), QStringLiteral("1"));
        QCOMPARE(m.pellet().txtMake->text(), QStringLiteral("Make of Gun"));
        QCOMPARE(m.pellet().txtModel->text(), QStringLiteral("Model of Gun"));
        QCOMPARE(m.pellet().txtPelletMake->text(), QStringLiteral("Air Arms Field"));
        QCOMPARE(m.pellet().txtCaliber->text(), QStringLiteral(".22"));
        QCOMPARE(m.options().txtCalibration->text(), QStringLiteral("100"));
        QCOMPARE(m.btnDump->text(), QStringLiteral("Chrony Status"));
        QVERIFY(m.btnDump->isEnabled());
        QVERIFY(!m.btnSave->isEnabled());
        QCOMPARE(m.lblSelGun->text(), QStringLiteral("Make of Gun Model of Gun"));
        QCOMPARE(m.lblSelProjectile->text(), QStringLiteral("Air Arms Field .22 - 1 Grains"));
        QCOMPARE(m.Text1->Text(), QStringLiteral("Shot\tDate/Time       \tMake/Model                 \tGrains\tfps\t"
                                                 "m/s\tFt.Lbf\tJoules\tIPSC-F\r\n"));
        QCOMPARE(summary(m), QStringList({"0", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00"}));
        QCOMPARE(m.MSFlexGrid1->ColWidth(2), 1895);
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony"));
        QCOMPARE(app.screenSaver.calls, QList<bool>({false}));
    }

    // Unusable option indexes leave each group with its default selected, and the unit words and
    // figures follow it.
    void unusableStoredOptionsFallBackToTheDefaults()
    {
        TestApp::setSetting(QStringLiteral("optSpeed"), -1);
        TestApp::setSetting(QStringLiteral("optPower"), QStringLiteral("x"));
        TestApp::setSetting(QStringLiteral("selWeight"), 9);
        TestApp::setSetting(QStringLiteral("optType"), 77);
        TestApp::setSetting(QStringLiteral("chronoType"), QStringLiteral("2.5"));
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("12"));
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.optSpeed->selectedIndex(), 1);
        QCOMPARE(m.optPower->selectedIndex(), 1);
        QCOMPARE(m.pellet().selWeight->selectedIndex(), 1);
        QCOMPARE(m.pellet().optType->selectedIndex(), 6);
        QCOMPARE(m.options().chronoType->selectedIndex(), 1);
        QCOMPARE(m.Label7->text(), QStringLiteral("fps"));
        QCOMPARE(m.Label4->text(), QStringLiteral("Ft.Lbf"));
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony"));
        sendLine(app, "1,Vf800.0\r");
        QCOMPARE(m.Label5->text(), QStringLiteral("800.00"));
        QCOMPARE(m.Label3->text(), QStringLiteral("17.06"));
    }

    void aStoredPortThatIsGoneIsReported()
    {
        TestApp::setSetting(QStringLiteral("txtComm"), 5);
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.options().lstComm->count(), 1);
        QCOMPARE(m.options().lstComm->currentIndex(), -1);
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Com Port  Does not exist"));
        QCOMPARE(app.prompt.shown.last().title, QStringLiteral("Velmora"));
        QVERIFY(!m.session().MSComm1->PortOpen());
        QCOMPARE(m.btnDump->text(), QStringLiteral("No Status"));
        QVERIFY(!m.btnDump->isEnabled());
    }

    void aBusyPortFailsToOpen()
    {
        TestApp app;
        app.services.makeSerialTransport = [&app] {
            auto t = std::make_unique<MemoryTransport>();
            t->existing = {QStringLiteral("/dev/test1")};
            app.serial = t.get();
            return t;
        };
        frmMain m(app.services);
        // Port 1 lists during the scan, then another program takes it before it is opened for good.
        QObject::connect(m.options().lstComm, &QComboBox::currentIndexChanged, &m,
                         [&app] { app.serial->busy.insert(QStringLiteral("/dev/test1")); });
        m.Form_Load();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Com Port 1 Failed to open"));
        QCOMPARE(app.prompt.shown.last().title, QStringLiteral("Serial Data Logger"));
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.close();
    }

    void aChronyLineBecomesAShot()
    {
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("12"));
        TestApp app;
        frmMain& m = app.start();
        sendLine(app, "1,Vf800.0\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(m.MSFlexGrid1->RowCells(1),
                 QStringList({"1", "06/12/2026 01:30:00", "Make of Gun Model of Gun Air Arms Field", "12", "800.00",
                              "243.84", "17.06", "23.13", "9.6"}));
        QCOMPARE(listLines(m).last(), QStringLiteral("1\t06/12/26 01:30:00\tMake of Gun Model of Gun Air Arms "
                                                     "Field\t12\t800.00\t243.84\t17.06\t23.13\t9.6"));
        QCOMPARE(m.Label5->text(), QStringLiteral("800.00"));
        QCOMPARE(m.Label3->text(), QStringLiteral("17.06"));
        QCOMPARE(m.Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0)); // above 6 ft.lbf
        QCOMPARE(summary(m).mid(0, 4), QStringList({"1", "800.00", "800.00", "800.00"}));
        QCOMPARE(app.sound.played, QStringList({"shotok.wav"}));
        const QList<QStringList> cache = TestApp::cacheRows();
        QCOMPARE(cache.size(), 1);
        // 6 December 2026 01:30:00 in Berlin (the suite's zone, one hour east): the stamp of 00:30 UTC.
        QCOMPARE(cache[0], QStringList({"1", "1796517000", "12", "800.000"}));
        QVERIFY(m.btnSave->isEnabled() && m.btnReset->isEnabled() && m.btnDelete->isEnabled());
        QVERIFY(m.session().strReceivedAll.isEmpty());
        QVERIFY(!m.session().echoed_data); // the LF after the CR is a fragment of its own
    }

    void calibrationScalesTheReading()
    {
        TestApp::setSetting(QStringLiteral("txtCalibration"), QStringLiteral("102.5"));
        TestApp app;
        frmMain& m = app.start();
        sendLine(app, "1,Vf800\r\n");
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("820.00"));
        m.options().txtCalibration->setText(QStringLiteral("98"));
        sendLine(app, "2,Vf1000\r\n");
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("980.00"));
        // A calibration that is not a number drops the reading, silently.
        m.options().txtCalibration->setText(QStringLiteral("abc"));
        const qsizetype messages = app.prompt.shown.size();
        sendLine(app, "3,Vf900\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(app.prompt.shown.size(), messages);
        QVERIFY(TestApp::cacheRows().size() == 2);
    }

    void aWeightThatIsNotANumberStopsAtTheEnergy()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtWeight->setText(QStringLiteral("heavy"));
        sendLine(app, "1,Vf812.5\r\n");
        QCOMPARE(m.session().last_fps, 812.5);
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QCOMPARE(m.session().shot_count, qint16(0));
        QCOMPARE(m.Label5->text(), QStringLiteral("0.00"));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    void theShotAfter32767Fails()
    {
        TestApp app;
        frmMain& m = app.start();
        m.session().shot_count = 32766;
        RecordShot(m, 800);
        QCOMPARE(m.session().shot_count, qint16(32767));
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QVERIFY_THROWS_EXCEPTION(AppError, RecordShot(m, 810));
        QCOMPARE(m.session().shot_count, qint16(32767));
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(TestApp::cacheRows().size(), 1);
        sendLine(app, "2,Vf820\r\n"); // through the receive path: dropped silently
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
    }

    void theShotColumnNarrowsAfterFiveRows()
    {
        TestApp app;
        frmMain& m = app.start();
        // Room for five rows, as the table was laid out for: the sixth shot scrolls it.
        FlexGrid& grid = *m.MSFlexGrid1;
        grid.setMinimumHeight(0);
        grid.setFixedHeight(grid.horizontalHeader()->sizeHint().height() + 5 * grid.verticalHeader()->defaultSectionSize() +
                            2 * grid.frameWidth());
        m.show();
        for (int i = 1; i <= 4; ++i)
            RecordShot(m, 800 + i);
        QCOMPARE(m.MSFlexGrid1->ColWidth(2), 1895);
        QCOMPARE(m.MSFlexGrid1->TopRow(), 1);
        RecordShot(m, 805);
        QCOMPARE(m.MSFlexGrid1->ColWidth(2), 1585);
        QCOMPARE(m.MSFlexGrid1->Row(), 5);
        QCOMPARE(m.MSFlexGrid1->TopRow(), 1); // the fifth shot: rows - 5 with the header
        RecordShot(m, 806);
        QCOMPARE(m.MSFlexGrid1->TopRow(), 2);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        RecordShot(m, 790);
        QCOMPARE(m.MSFlexGrid1->ColWidth(2), 1895);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("1"));
    }

    // A shot repaints the figures, the new rows and the bars that moved, and lays nothing out
    // again: never the frames and the window behind them. At the serial line's rate that was
    // most of a shot's cost.
    void aShotRepaintsWhatItChangedAndNothingBehindIt()
    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        for (int i = 1; i <= 30; ++i) {
            RecordShot(m, 800 + i);
            QApplication::processEvents(); // each shot is shown before the next comes
        }
        struct Recorder : QObject {
            QSet<QObject*> painted;
            QSet<QObject*> laidOut;
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    painted.insert(watched);
                if (event->type() == QEvent::LayoutRequest)
                    laidOut.insert(watched);
                return false;
            }
        } recorder;
        qApp->installEventFilter(&recorder);
        RecordShot(m, 815); // texts no wider than before: no column grows
        QTRY_VERIFY(recorder.painted.contains(m.Label5));
        QApplication::processEvents();
        qApp->removeEventFilter(&recorder);
        QCOMPARE(m.Label5->text(), QStringLiteral("815.00"));
        for (QWidget* changed : QList<QWidget*>{m.Label3, m.Label5, m.MSFlexGrid1->viewport(), m.Text1->viewport()})
            QVERIFY2(recorder.painted.contains(changed), qPrintable(changed->objectName()));
        for (QWidget* behind : QList<QWidget*>{&m, m.fmeSpeed, m.fmePower, m.MSFlexGrid1, m.Text1,
                                               m.MSFlexGrid1->horizontalHeader()->viewport(),
                                               m.MSFlexGrid1->horizontalScrollBar()})
            QVERIFY2(!recorder.painted.contains(behind), qPrintable(behind->objectName()));
        for (QWidget* frame : QList<QWidget*>{&m, m.centralWidget(), m.fmeSpeed, m.fmePower})
            QVERIFY2(!recorder.laidOut.contains(frame), qPrintable(frame->objectName()));
        // The figures still fill their frames.
        QCOMPARE(m.Label5->mapTo(m.fmeSpeed, QPoint()).x(), m.fmeSpeed->layout()->contentsRect().left());
    }

    // A figure's holder keeps the label's limits, and a figure that needs more room gets it
    // when the window has it.
    void aFigureIsNeverCut()
    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        auto whole = [](QLabel* figure) {
            QApplication::processEvents();
            const QWidget* holder = figure->parentWidget();
            return holder->width() >= 220 && holder->width() >= figure->sizeHint().width() &&
                   figure->geometry() == holder->rect();
        };
        m.resize(m.minimumSizeHint());
        QVERIFY(whole(m.Label5) && whole(m.Label3));
        m.resize(1400, 800);
        QFont larger = m.Label5->font();
        larger.setPointSize(64); // as a long figure on a screen of many dots per inch
        m.Label5->setFont(larger);
        RecordShot(m, 1234.56);
        QCOMPARE(m.Label5->text(), QStringLiteral("1234.56"));
        QVERIFY(m.Label5->sizeHint().width() > 220);
        QTRY_VERIFY(whole(m.Label5));
    }

    // The figures keep a picture of the frame behind them: it must be what the frame paints
    // there, after the window is resized or disabled too.
    void aFigureShowsTheFrameBehindIt()
    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        RecordShot(m, 800);
        QApplication::processEvents();
        m.Label5->setText(QString()); // nothing of the label over the picture
        // The same place with the holder hidden: what the window shows there without it.
        auto compare = [&] {
            QApplication::processEvents();
            QWidget* holder = m.Label5->parentWidget();
            const QRect place(holder->mapTo(&m, QPoint()), holder->size());
            const QImage shown = m.grab(place).toImage().convertToFormat(QImage::Format_RGB32);
            holder->hide();
            const QImage behind = m.grab(place).toImage().convertToFormat(QImage::Format_RGB32);
            holder->show();
            return shown == behind;
        };
        QVERIFY(compare());
        m.resize(m.width() + 160, m.height() + 40);
        QVERIFY(compare());
        QPalette yellow = m.palette();
        yellow.setColor(QPalette::Window, Qt::yellow);
        m.setPalette(yellow);
        QVERIFY(compare());
        m.setEnabled(false);
        QVERIFY(compare());
    }

    // Every cell shows its whole text: a column is never narrower than its widest text, whatever
    // width in twips it is given, and the last column takes the rest of the table.
    void cellsShowTheirWholeText()
    {
        TestApp::setSetting(QStringLiteral("txtMake"), QStringLiteral("Theoben Rapid MFR"));
        TestApp::setSetting(QStringLiteral("txtPelletMake"), QStringLiteral("JSB Exact Jumbo Heavy"));
        TestApp app;
        frmMain& m = app.start();
        for (int i = 0; i < 6; ++i)
            RecordShot(m, 1234.56 + i); // the sixth narrows column 2 to 1585 twips
        QCOMPARE(m.MSFlexGrid1->ColWidth(2), 1585);
        for (FlexGrid* grid : {m.MSFlexGrid1, m.MSFlexGrid2}) {
            QVERIFY(grid->horizontalHeader()->stretchLastSection());
            const QFontMetrics metrics = grid->fontMetrics();
            for (int c = 0; c < grid->Cols(); ++c)
                for (int r = 0; r < grid->Rows(); ++r) {
                    const QString text = grid->TextMatrix(r, c);
                    QVERIFY2(grid->columnWidth(c) >= metrics.horizontalAdvance(text) + 6,
                             qPrintable(QStringLiteral("%1 column %2: \"%3\"").arg(grid->objectName()).arg(c).arg(text)));
                }
        }
    }

    void clearingAsksAndKeepsTheListAndCache()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        RecordShot(m, 810);
        const QString list = m.Text1->Text();
        app.prompt.setNextAnswer(Prompt::Answer::No);
        m.btnReset_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Are you sure you want to clear the collected Data?"));
        QVERIFY(app.prompt.shown.last().buttons == Prompt::Buttons::YesNo);
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QCOMPARE(m.Text1->Text(), list);
        QCOMPARE(m.Label3->text(), QStringLiteral("0.00"));
        QCOMPARE(m.Label5->text(), QStringLiteral("0.00"));
        QVERIFY(!m.btnReset->isEnabled() && !m.btnSave->isEnabled() && !m.btnDelete->isEnabled());
        QCOMPARE(m.session().shot_count, qint16(0));
        QCOMPARE(summary(m)[0], QStringLiteral("0"));
        RecordShot(m, 820);
        RecordShot(m, 830);
        const QList<QStringList> cache = TestApp::cacheRows();
        QCOMPARE(cache.size(), 4);
        QCOMPARE(cache[2][0], QStringLiteral("1"));
        QCOMPARE(cache[3][0], QStringLiteral("2"));
    }

    void deletingRenumbersTheListNotTheTable()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        RecordShot(m, 810);
        RecordShot(m, 820);
        m.MSFlexGrid1->setRow(2);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnDelete_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Are you sure you want to delete shot 2?"));
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 0), QStringLiteral("3"));
        const QStringList lines = listLines(m);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith(QStringLiteral("Shot\tDate/Time\tMake/Model\tGrains")));
        QVERIFY(lines[1].startsWith(QStringLiteral("1\t")));
        QVERIFY(lines[2].startsWith(QStringLiteral("2\t")));
        QVERIFY(lines[2].endsWith(QStringLiteral("\tAir Arms Field\t.22\tMake of Gun\tModel of Gun")));
        QCOMPARE(lines[2].count(u'\t'), 12);
        QCOMPARE(summary(m).mid(0, 5), QStringList({"2", "800.00", "820.00", "810.00", "20.00"}));
        QCOMPARE(m.MSFlexGrid1->Row(), 2);
        QCOMPARE(m.session().shot_count, qint16(3));
    }

    // The recomputation after a deletion fails on a weight that is not a number; the failure ends
    // the click, not the program, and the next click works.
    void aFailingDeletionEndsTheClickNotTheProgram()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        RecordShot(m, 810);
        m.optPower->select(3);
        m.pellet().txtWeight->setText(QStringLiteral("abc"));
        m.MSFlexGrid1->setRow(1);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnDelete->click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 2); // the row went before the failure
        m.pellet().txtWeight->setText(QStringLiteral("12"));
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnDelete->click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(!m.btnDelete->isEnabled());
    }

    void deletingTheOnlyShotWritesTheShortHeader()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnDelete_Click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(m.Text1->Text().startsWith(QStringLiteral("Shot\tDate/Time       \t")));
        QCOMPARE(m.session().last_fps, 0.0);
        QVERIFY(!m.btnDelete->isEnabled());
        QVERIFY(m.btnSave->isEnabled()); // left as it is
        QCOMPARE(summary(m)[0], QStringLiteral("0"));
    }

    void replayedShotsKeepTheirNumbersAndTimes()
    {
        QFile::remove(PelletStore::defaultPath());
        const QDateTime when(QDate(2026, 11, 30), QTime(17, 5, 9));
        {
            PelletStore previousRun;
            QVERIFY(previousRun.openStore(PelletStore::defaultPath()).isEmpty());
            const qint32 stamp = timestamps::dateToUnix(when);
            QVERIFY(previousRun.insertCacheRow({4, stamp, "8.44", "801.500"}).isEmpty());
            QVERIFY(previousRun.insertCacheRow({5, stamp, "8.44", "799.250"}).isEmpty());
        }
        TestApp app(true);
        frmMain& m = app.start();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("It Looks like you crashed. 2 shots have been recovered."));
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("4"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 1), QStringLiteral("30/11/2026 17:05:09"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("799.25"));
        QCOMPARE(summary(m)[0], QStringLiteral("2"));
        QCOMPARE(TestApp::cacheRows().size(), 2); // replays are not cached again
        RecordShot(m, 800);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(3, 0), QStringLiteral("6"));
    }

    void metresPerSecondKeepsIncrementalAndFullAlike()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        m.optSpeed->select(2);
        QCOMPARE(m.Label5->text(), QStringLiteral("243.84"));
        QCOMPARE(m.Label7->text(), QStringLiteral("m/s"));
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 1), QStringLiteral("Min m/s"));
        QCOMPARE(m.Label5->toolTip(), QStringLiteral("Velocity in Meters Per Second"));
        RecordShot(m, 812.3);
        RecordShot(m, 795.1);
        const QStringList incremental = summary(m);
        m.updateTotals();
        QCOMPARE(summary(m), incremental);
        QCOMPARE(settings::read(settings::kOptSpeed), QStringLiteral("2"));
        m.optPower->select(2);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 6), QStringLiteral("Min Joules"));
        m.optPower->select(3);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 6), QStringLiteral("Min IPSC-F"));
        QCOMPARE(m.Label3->toolTip(), QStringLiteral("Power in IPSC-F"));
        m.optSpeed->select(1);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(0, 1), QStringLiteral("Min fps"));
    }

    void theWatchdogEmptiesAPartialLine()
    {
        TestApp app;
        frmMain& m = app.start();
        sendLine(app, "1,Vf8");
        QCOMPARE(m.session().strReceivedAll, QStringLiteral("1,Vf8"));
        QVERIFY(m.session().Timer1->isActive());
        m.Timer1_Timer();
        QVERIFY(m.session().strReceivedAll.isEmpty());
        QVERIFY(!m.btnSave->isEnabled());
        sendLine(app, "1,Vf800\r"); // the CR ends the line: no fragment has come since the shot
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QVERIFY(m.session().echoed_data);
        m.session().strReceivedAll = QStringLiteral("2,Vf"); // a line under way is left alone
        m.Timer1_Timer();
        QCOMPARE(m.session().strReceivedAll, QStringLiteral("2,Vf"));
        QVERIFY(m.btnSave->isEnabled());
    }

    // A line that is no shot ends at its CR, so the Combro line after it keeps its length.
    void aNonShotLineDoesNotSpoilTheNextCombroLine()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 2);
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(app.serial->openedSettings.baud, 9600);
        QCOMPARE(m.btnDump->text(), QStringLiteral("No Status"));
        sendLine(app, "HELLO\r\n0980\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QVERIFY(m.session().strReceivedAll.isEmpty());
        m.Timer1_Timer();
        sendLine(app, "0980\r\n");
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("800.34"));
        sendLine(app, "\r\n"); // an empty line is no shot
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
    }

    void nothingIsRecordedInChronyMemoryMode()
    {
        TestApp app;
        frmMain& m = app.start();
        m.session().chrony_data = true;
        sendLine(app, "1,Vf800\r\n2,Vf810\r\n>");
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(m.session().strReceivedAll.isEmpty()); // the ">" handed the reply on
    }

    void exitAsksFirst()
    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        RecordShot(m, 800);
        app.prompt.setNextAnswer(Prompt::Answer::No);
        QVERIFY(!m.close());
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Are you sure you want Exit Velmora?"));
        QVERIFY(m.session().MSComm1->PortOpen());
        QVERIFY(m.isVisible());
        QCOMPARE(TestApp::cacheRows().size(), 1);
        bool closedOnExit = false;
        QObject::connect(&m, &QObject::destroyed, [&] { closedOnExit = !app.serial->isOpen(); });
        app.exit();
        QVERIFY(closedOnExit);
        QCOMPARE(app.screenSaver.calls, QList<bool>({false, true}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    void settingsAreWrittenAsTheUserTypes()
    {
        {
            TestApp app;
            frmMain& m = app.start();
            QLineEdit* weight = m.pellet().txtWeight;
            weight->clear();
            QStringList stored;
            for (QChar c : QStringLiteral("8.44")) {
                QTest::keyClick(weight, c.toLatin1());
                stored.append(settings::read(settings::kTxtWeight));
            }
            QCOMPARE(stored, QStringList({"8", "8.", "8.4", "8.44"}));
            m.pellet().selWeight->select(0);
            m.pellet().optType->select(12);
            m.options().chronoType->select(2);
        }
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.pellet().txtWeight->text(), QStringLiteral("0.547")); // converted by the unit switch, kept
        QVERIFY(m.pellet().selWeight->isSelected(0));
        QVERIFY(m.pellet().optType->isSelected(12));
        QVERIFY(m.options().chronoType->isSelected(2));
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Combro"));
        QCOMPARE(m.lblSelProjectile->text(), QStringLiteral("Air Arms Field .22 - 0.547 Grammes"));
    }

    void aCommaLocaleStoresAndReadsBack()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TestApp::setSetting(QStringLiteral("txtCalibration"), QStringLiteral("101,5"));
        TestApp app;
        frmMain& m = app.start();
        QVERIFY(m.session().eurozone);
        QCOMPARE(m.options().txtCalibration->text(), QStringLiteral("101,5"));
        settings::SaveSettingValue(QStringLiteral("txtCalibration"), 101.5);
        QCOMPARE(settings::read(settings::kTxtCalibration), QStringLiteral("101,5"));
        sendLine(app, "1,Vf800.0\r\n");
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("812,00"));
        QCOMPARE(summary(m)[1], QStringLiteral("812,00"));
    }

    // A failing cache (a full disk) is told once, in the status row, not in a box a shot; the
    // shots stay in the table, and the row goes once the cache takes shots again.
    void aFailedCacheInsertIsShownOnceAndRecordingGoesOn()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        const qsizetype messages = app.prompt.shown.size();
        QVERIFY(!m.findChild<QStatusBar*>()); // no status row while all is well
        const QSqlError dropped = app.store.storeDatabase.exec(QStringLiteral("ALTER TABLE Cache RENAME TO Away")).lastError();
        QVERIFY2(dropped.type() == QSqlError::NoError, qPrintable(dropped.text()));
        RecordShot(m, 810);
        RecordShot(m, 820);
        QCOMPARE(app.prompt.shown.size(), messages);
        QStatusBar* status = m.findChild<QStatusBar*>();
        QVERIFY(status);
        QVERIFY2(status->currentMessage().contains(QStringLiteral("no such table")), qPrintable(status->currentMessage()));
        QCOMPARE(m.MSFlexGrid1->Rows(), 4);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QStringLiteral("3"));
        // Room again: the waiting rows are written first, in order, then the new one.
        QVERIFY(app.store.storeDatabase.exec(QStringLiteral("ALTER TABLE Away RENAME TO Cache")).lastError().type() ==
                QSqlError::NoError);
        RecordShot(m, 830);
        QCOMPARE(status->currentMessage(), QString());
        const QList<QStringList> rows = TestApp::cacheRows();
        QCOMPARE(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(rows[i][0], QString::number(i + 1));
            QCOMPARE(rows[i][3], QStringLiteral("%1.000").arg(800 + 10 * i));
        }
    }

    void aGarbageDatabaseIsReportedAndTheProgramRuns()
    {
        QFile file(PelletStore::defaultPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray garbage = QByteArray("\x01\x02 not a database ").repeated(300);
        file.write(garbage);
        file.close();
        TestApp app(true);
        frmMain& m = app.start();
        QVERIFY(app.prompt.texts().filter(QStringLiteral("cannot be used")).size() == 1);
        sendLine(app, "1,Vf800\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        app.exit();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), garbage);
    }

    // The caption labels that open the option windows work from the keyboard too.
    void captionLabelsTakeTheKeyboard()
    {
        TestApp app;
        frmMain& m = app.start();
        QVERIFY(m.lblGun->focusPolicy() & Qt::TabFocus);
        QTest::keyClick(m.lblGun, Qt::Key_Space);
        QVERIFY(m.pellet().isVisible());
        QVERIFY(!m.isEnabled());
        QTest::keyClick(m.pellet().txtMake, Qt::Key_Escape);
        QVERIFY(m.isEnabled());
        QTest::keyClick(m.lblChrono, Qt::Key_Return);
        QVERIFY(m.options().isVisible());
        QTest::keyClick(m.options().txtCalibration, Qt::Key_Escape);
        QVERIFY(m.isEnabled());
    }

    // Every input a user can reach is named for screen readers, by its label where it has one.
    void everyInputIsNamed()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QVERIFY(m.chronyExtras);
        // A text box is named by its label; a list's name is its text, and its label is a relation
        // (as Qt presents lists on Linux).
        auto name = [](QWidget* w) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            if (!qobject_cast<QComboBox*>(w))
                return a->text(QAccessible::Name);
            const auto labels = a->relations(QAccessible::Label);
            return labels.isEmpty() ? a->text(QAccessible::Name) : labels.first().first->text(QAccessible::Name);
        };
        QCOMPARE(name(m.pellet().txtMake), QStringLiteral("Make:"));
        QCOMPARE(name(m.pellet().txtWeight), QStringLiteral("Weight:"));
        QCOMPARE(name(m.pellet().txtAddGunModel), QStringLiteral("Model"));
        QCOMPARE(name(m.options().lstComm), QStringLiteral("Com Port:"));
        QCOMPARE(name(m.pellet().lstCal), QStringLiteral("Lookup:"));
        QCOMPARE(name(m.chronyExtras->txtStoredStrings), QStringLiteral("Strings stored:"));
        for (QDialog* window : {static_cast<QDialog*>(&m.pellet()), static_cast<QDialog*>(&m.options()),
                                static_cast<QDialog*>(m.chronyExtras.data())}) {
            QVERIFY(!window->windowTitle().isEmpty());
            for (QWidget* input : window->findChildren<QWidget*>()) {
                const bool field = qobject_cast<QLineEdit*>(input) || qobject_cast<QComboBox*>(input) ||
                                   qobject_cast<QPlainTextEdit*>(input);
                if (!field || !input->isVisibleTo(window) || input->parentWidget()->inherits("QComboBox"))
                    continue;
                QVERIFY2(!name(input).isEmpty(), qPrintable(window->objectName() + u'/' + input->objectName()));
            }
        }
    }

    void ampersandsShowAsTyped()
    {
        TestApp::setSetting(QStringLiteral("txtMake"), QStringLiteral("S&W"));
        TestApp::setSetting(QStringLiteral("txtPelletMake"), QStringLiteral("H&N"));
        TestApp app;
        frmMain& m = app.start();
        m.show(); // laid out as the user sees it
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        // What is painted must be what a plain label shows for the typed text, one "&" each.
        for (auto [label, shown] : {std::pair{m.lblSelGun, QStringLiteral("S&W Model of Gun")},
                                    std::pair{m.lblSelProjectile, QStringLiteral("H&N .22 - 1 Grains")}}) {
            auto painted = [](QLabel* l) {
                QImage image(l->size(), QImage::Format_ARGB32);
                image.fill(Qt::white);
                l->render(&image, {}, {}, QWidget::DrawChildren);
                return image;
            };
            const QImage actual = painted(label);
            // A plain label with the literal text, beside it: same font, palette, style and place.
            QLabel reference(shown, label->parentWidget());
            reference.setAlignment(label->alignment());
            reference.setGeometry(label->geometry());
            QVERIFY(label->height() > 0 && label->width() > 0);
            QCOMPARE(actual, painted(&reference));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
