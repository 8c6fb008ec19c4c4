// The sensor window's view and files without a sensor: frame to colours and legend, the cell
// under the pointer and the keyboard cursor, and frames written and read back.
#include "ui/FrameFiles.h"
#include "ui/PressureMap.h"
#include "ui/TAQMainWin.h"
#include "ui/TaqMapPanel.h"

#include "CsvReader.h"
#include "FileSizeLimit.h"
#include "TempSettingsFolder.h"

#include <QAction>
#include <QApplication>
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSet>
#include <QMouseEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
QRgb Rgb(QRgb C) {
    return C & 0xFFFFFF;
}
} // namespace

TEST(PressureMap, KnownFrameGivesExpectedCellsAndLegendRange) {
    // The ends of the scale are viridis' own, and lightness rises all the way up.
    EXPECT_EQ(Rgb(ScaleColour(0)), 0x440154u);
    EXPECT_EQ(Rgb(ScaleColour(1)), 0xfde725u);
    EXPECT_EQ(Rgb(ScaleColour(-3)), 0x440154u);
    EXPECT_EQ(Rgb(ScaleColour(7)), 0xfde725u);
    const auto luma = [](QRgb C) { return 0.299 * qRed(C) + 0.587 * qGreen(C) + 0.114 * qBlue(C); };
    for (int i = 8; i <= 255; i += 8) // steps of 8 rise clear of the rounding of each channel
        EXPECT_GT(luma(ScaleColour(i / 255.0)), luma(ScaleColour((i - 8) / 255.0))) << i;
    EXPECT_GT(luma(ScaleColour(1)), luma(ScaleColour(0)) + 150);

    // 3 x 2 cells, row by row.
    const std::vector<int32_t> cells{0, 100, 200, 400, 50, -5};
    const TFrameStats s = FrameStats(cells, 3, 2);
    EXPECT_EQ(s.Total, 750); // negative cells count as no load
    EXPECT_EQ(s.Maximum, 400);
    EXPECT_EQ(s.MaximumIndex, 3);
    ASSERT_TRUE(s.Centre.has_value());
    EXPECT_NEAR(s.Centre->x(), (100 * 1.5 + 200 * 2.5 + 400 * 0.5 + 50 * 1.5) / 750.0, 1e-9);
    EXPECT_NEAR(s.Centre->y(), (300 * 0.5 + 450 * 1.5) / 750.0, 1e-9);
    EXPECT_FALSE(FrameStats({0, 0, 0, 0}, 2, 2).Centre.has_value());

    struct TRow {
        int32_t Fixed;
        TColourRange Range;
        std::vector<double> Fractions; // expected per cell
    };
    const TRow rows[] = {
        {0, {0, 400}, {0, 0.25, 0.5, 1, 0.125, 0}}, // automatic: 0 to the frame's maximum
        {200, {0, 200}, {0, 0.5, 1, 1, 0.25, 0}},   // fixed: above the top is the top colour
    };
    TPressureMap map;
    map.SetMatrix(3, 2, 3.4, 6.8);
    TScaleLegend legend;
    for (const TRow& r : rows) {
        const TColourRange range = RangeFor(s, r.Fixed);
        EXPECT_EQ(range, r.Range);
        map.SetFrame(cells, range);
        legend.SetRange(range);
        EXPECT_EQ(legend.RangeText(), QStringLiteral("%1 to %2").arg(r.Range.Low).arg(r.Range.High));
        const QImage& image = map.CellImage();
        ASSERT_EQ(image.size(), QSize(3, 2));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(Rgb(image.pixel(i % 3, i / 3)), Rgb(ScaleColour(r.Fractions[i]))) << "cell " << i;
    }
    // An empty frame still gives a usable range; with a floor, noise stays at the dark end.
    EXPECT_EQ(RangeFor(FrameStats({0, 0}, 2, 1), 0), (TColourRange{0, 1}));
    EXPECT_EQ(RangeFor(FrameStats({35, 12}, 2, 1), 0, 256), (TColourRange{0, 256}));
    EXPECT_EQ(RangeFor(FrameStats({35, 400}, 2, 1), 0, 256), (TColourRange{0, 400}));
    // Without a frame the legend claims no numbers.
    legend.ClearRange();
    EXPECT_EQ(legend.RangeText(), QStringLiteral("No frame"));

    // A picture in the sensor's proportions: cells twice as high as wide.
    const QImage png = map.Render(10);
    EXPECT_EQ(png.size(), QSize(30, 40));
    EXPECT_EQ(Rgb(png.pixel(25, 5)), Rgb(ScaleColour(1)));  // top right: 200 of 200
    EXPECT_EQ(Rgb(png.pixel(5, 35)), Rgb(ScaleColour(1)));  // bottom left: 400, clipped
    EXPECT_EQ(Rgb(png.pixel(25, 35)), Rgb(ScaleColour(0))); // bottom right: below 0
}

TEST(PressureMap, CellUnderPointerAndKeyboardCursor) {
    TPressureMap map;
    map.resize(404, 204);
    map.SetMatrix(4, 2, 1, 2); // 4 x 4 units: a square in a wide widget
    const QRectF r = map.MatrixRect();
    EXPECT_NEAR(r.width(), r.height(), 1e-9);
    EXPECT_NEAR(r.height(), 200, 1e-9);
    EXPECT_NEAR(r.center().x(), 202, 1e-9);
    EXPECT_EQ(map.CellAt(r.topLeft() + QPointF(1, 1)), QPoint(0, 0));
    EXPECT_EQ(map.CellAt(r.bottomRight() - QPointF(1, 1)), QPoint(3, 1));
    EXPECT_EQ(map.CellAt(QPointF(r.left() + r.width() * 0.6, r.top() + r.height() * 0.4)), QPoint(2, 0));
    EXPECT_FALSE(map.CellAt(QPointF(2, 100)).has_value()); // beside the matrix

    std::vector<std::optional<QPoint>> seen;
    map.OnCursorChanged = [&](std::optional<QPoint> C) { seen.push_back(C); };
    map.SetFrame({1, 2, 3, 4, 5, 6, 7, 8}, {0, 8});
    const QPointF at(r.left() + r.width() * 0.9, r.top() + r.height() * 0.9);
    QMouseEvent move(QEvent::MouseMove, at, map.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&map, &move);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), QPoint(3, 1));
    EXPECT_EQ(map.Value(*map.Cursor()), 8);
    // The arrow keys walk the cells and stop at the edges.
    for (int k : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Up, Qt::Key_Up})
        QTest::keyClick(&map, Qt::Key(k));
    EXPECT_EQ(map.Cursor(), QPoint(1, 0));
    EXPECT_EQ(map.Value(QPoint(1, 0)), 2);
    QTest::keyClick(&map, Qt::Key_End);
    EXPECT_EQ(map.Cursor(), QPoint(3, 1));
    // A new matrix forgets the cursor and the frame.
    map.SetMatrix(2, 2, 1, 1);
    EXPECT_FALSE(map.Cursor().has_value());
    EXPECT_FALSE(map.HasFrame());
}

TEST(FrameFiles, RecordThenOpenGivesTheSameFrames) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    const std::vector<std::vector<int32_t>> frames{
        {0, 1, 2, 3, 4, 5}, {65535, 0, 0, 0, 0, 7}, {9, 9, 9, 9, 9, 9}};
    const uint32_t stamps[] = {0, 4294967295u, 17};
    {
        TRecordingWriter w;
        ASSERT_TRUE(w.Open(path, 3, 2));
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(w.Add(stamps[i], frames[i]));
        EXPECT_TRUE(w.Add(1, {1, 2})); // not a frame of this matrix: left out
        EXPECT_EQ(w.Count(), 3);
    }
    // Plain CSV that any reader takes: a header naming the cells, one record per frame.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QStringList> records;
    ASSERT_TRUE(ReadCsv(QString::fromLatin1(f.readAll()), records));
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0], (QStringList{"timestamp", "r1c1", "r1c2", "r1c3", "r2c1", "r2c2", "r2c3"}));
    EXPECT_EQ(records[2].front(), "4294967295");

    TRecordingReader r;
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.Width(), 3);
    EXPECT_EQ(r.Height(), 2);
    ASSERT_EQ(r.Count(), 3);
    for (int i : {2, 0, 1}) { // in any order
        uint32_t stamp = 1;
        std::vector<int32_t> cells;
        ASSERT_TRUE(r.Frame(i, stamp, cells));
        EXPECT_EQ(stamp, stamps[i]);
        EXPECT_EQ(cells, frames[size_t(i)]);
    }
    uint32_t stamp = 0;
    std::vector<int32_t> cells;
    EXPECT_FALSE(r.Frame(3, stamp, cells));

    // What is not a recording is refused, and a damaged line is reported when shown.
    const auto write = [&](const QString& Name, const QByteArray& Text) {
        QFile out(dir.filePath(Name));
        out.open(QIODevice::WriteOnly);
        out.write(Text);
        return out.fileName();
    };
    QString error;
    EXPECT_FALSE(r.Open(write("a.csv", "1,2,3\n4,5,6\n"), &error));
    EXPECT_TRUE(error.contains("not a frame recording"));
    EXPECT_FALSE(r.Open(write("b.csv", "timestamp,r1c1,r1c2,r2c1\n"), &error)); // 3 cells for 2 x 2
    ASSERT_TRUE(r.Open(write("c.csv", "timestamp,r1c1,r1c2\n5,1,2\n6,1,x\n7,1\n")));
    EXPECT_EQ(r.Count(), 3);
    EXPECT_TRUE(r.Frame(0, stamp, cells));
    EXPECT_FALSE(r.Frame(1, stamp, cells, &error));
    EXPECT_TRUE(error.contains("damaged"));
    EXPECT_FALSE(r.Frame(2, stamp, cells));

    // A single frame is shaped like the matrix.
    ASSERT_TRUE(WriteFrameCsv(dir.filePath("frame.csv"), frames[0], 3, 2));
    QFile one(dir.filePath("frame.csv"));
    ASSERT_TRUE(one.open(QIODevice::ReadOnly));
    EXPECT_EQ(one.readAll(), QByteArray("0,1,2\n3,4,5\n"));
    EXPECT_FALSE(WriteFrameCsv(dir.filePath("none.csv"), {}, 3, 2, &error));
}

// A disk that fills ends the recording with the system's reason, after the last whole frame, and
// counts only the frames in the file; a pipe or a device is not played back.
TEST(FrameFiles, AFullDiskKeepsWholeFramesAndPipesAreNotPlayed) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    const std::vector<int32_t> cells(84, 4095);
    const int counted = RunWithFileSizeLimit(4000, [&] {
        TRecordingWriter w;
        if (!w.Open(path, 14, 6))
            return 100;
        for (uint32_t stamp = 0; stamp < 1000; ++stamp)
            if (!w.Add(stamp, cells))
                break;
        if (w.IsOpen() || w.LastError() != QString::fromLocal8Bit(std::strerror(EFBIG)))
            return 101;
        return w.Count();
    });
    ASSERT_GT(counted, 0);
    ASSERT_LT(counted, 100);
    TRecordingReader r;
    QString error;
    ASSERT_TRUE(r.Open(path, &error)) << error.toStdString();
    ASSERT_EQ(r.Count(), counted);
    uint32_t stamp = 0;
    std::vector<int32_t> read;
    EXPECT_TRUE(r.Frame(counted - 1, stamp, read));
    EXPECT_EQ(read, cells);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith('\n'));

    const QString fifo = dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.csv"));
    ASSERT_EQ(symlink("/dev/zero", zero.toLocal8Bit().constData()), 0);
    for (const QString& p : {fifo, zero}) {
        EXPECT_FALSE(r.Open(p, &error));
        EXPECT_TRUE(error.endsWith("not a regular file (a pipe, socket or device)")) << error.toStdString();
        EXPECT_FALSE(r.IsOpen());
    }
}

// The window at its smallest and at a large size: no control overlaps another (the scroll areas take
// what does not fit), and every control can be named by a screen reader and reached with Tab.
TEST(TAQWindow, UsableAtAnySizeWithKeyboardAndScreenReader) {
    TTempSettingsFolder settings;
    TTAQMainWin win;
    win.show();
    QApplication::processEvents();
    // At the width it opens with, the controls' column scrolls in height only, also when the
    // window is too short for it (a taller font, a smaller screen).
    win.resize(win.width(), 480);
    QApplication::processEvents();
    const auto* controls = win.findChild<QScrollArea*>(QStringLiteral("sbControls"));
    ASSERT_NE(controls, nullptr);
    EXPECT_TRUE(controls->verticalScrollBar()->isVisible());
    EXPECT_FALSE(controls->horizontalScrollBar()->isVisible());
    for (const QSize size : {win.minimumSize(), QSize(1600, 1100)}) {
        win.resize(size);
        QApplication::processEvents();
        for (QWidget* w : win.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->isWindow())
                continue;
            const QList<QWidget*> siblings =
                w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* s : siblings)
                if (s != w && s->isVisible() && !qobject_cast<QScrollBar*>(s) &&
                    w->geometry().intersects(s->geometry()))
                    ADD_FAILURE() << size.width() << "x" << size.height() << ": "
                                  << w->objectName().toStdString() << " overlaps "
                                  << s->objectName().toStdString();
        }
    }
    QStringList unnamed;
    QSet<QWidget*> chain;
    for (QWidget* w = win.nextInFocusChain(); w && w != &win; w = w->nextInFocusChain())
        chain.insert(w);
    for (QWidget* w : win.centralWidget()->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                             qobject_cast<QComboBox*>(w) || dynamic_cast<TPressureMap*>(w);
        if (!control || qobject_cast<QScrollBar*>(w) || w->parentWidget()->inherits("QAbstractSpinBox") ||
            w->parentWidget()->inherits("QComboBox"))
            continue;
        const auto* b = qobject_cast<QAbstractButton*>(w);
        if (w->accessibleName().isEmpty() && !(b && !b->text().isEmpty()))
            unnamed << w->objectName();
        if (w->focusPolicy() & Qt::TabFocus)
            EXPECT_TRUE(chain.contains(w)) << w->objectName().toStdString();
        else
            ADD_FAILURE() << w->objectName().toStdString() << " cannot be reached with Tab";
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
    const QString shot = qEnvironmentVariable("ZEL_SCREENSHOT_SMALL");
    if (!shot.isEmpty()) {
        win.resize(win.minimumSize());
        QApplication::processEvents();
        win.grab().save(shot);
    }
}

// The map panel on its own: each frame's figures and colour range as the operator reads them, the
// scale's top kept above the noise of the sensor's threshold or fixed by the operator.
TEST(TAQMapPanel, FiguresAndScaleOfEachFrame) {
    TTAQ taq(nullptr);
    TTaqMapPanel panel(taq);
    panel.SetMatrix(3, 2, 1, 1);
    int changes = 0;
    panel.OnFrameShownChanged = [&] { ++changes; };
    const auto text = [&](const char* Name) {
        return panel.findChild<QLabel*>(QString::fromLatin1(Name))->text();
    };
    auto* top = panel.findChild<QSpinBox*>(QStringLiteral("edRangeMax"));
    ASSERT_NE(top, nullptr);

    struct TRow {
        std::vector<int32_t> Cells; // 3 x 2, row by row
        int32_t Threshold;
        int Top; // 0: Auto
        TColourRange Range;
        QString Total, Maximum, Centre;
    };
    const std::vector<int32_t> pressed{0, 100, 200, 400, 50, -5};
    const std::vector<int32_t> noise{35, 12, 0, 0, 0, 0};
    const TRow rows[] = {
        {pressed, 20, 0, {0, 400}, "750", "400 at column 1, row 2", "column 1.73, row 1.60"},
        {pressed, 20, 200, {0, 200}, "750", "400 at column 1, row 2", "column 1.73, row 1.60"},
        {noise, 20, 0, {0, 256}, "47", "35 at column 1, row 1", "column 1.26, row 1.00"},  // at least 256
        {noise, 100, 0, {0, 400}, "47", "35 at column 1, row 1", "column 1.26, row 1.00"}, // 4 x threshold
        {{0, 0, 0, 0, 0, 0}, 20, 0, {0, 256}, "0", "0 at column 1, row 1", "-- (no load)"},
    };
    for (const TRow& r : rows) {
        SCOPED_TRACE(r.Total.toStdString() + " top " + std::to_string(r.Top));
        taq.Threshold = r.Threshold;
        top->setValue(r.Top);
        panel.ShowFrame(r.Cells, QStringLiteral("Test frame"));
        EXPECT_EQ(panel.Map()->Range(), r.Range);
        EXPECT_EQ(panel.Map()->Cells(), r.Cells);
        EXPECT_EQ(text("lbSource"), "Test frame");
        EXPECT_EQ(text("lbTotal"), r.Total);
        EXPECT_EQ(text("lbMaximum"), r.Maximum);
        EXPECT_EQ(text("lbCentre"), r.Centre);
    }
    EXPECT_EQ(changes, 1); // from no frame to one
    // A new top of the scale shows the frame again with it.
    top->setValue(50);
    EXPECT_EQ(panel.Map()->Range(), (TColourRange{0, 50}));
    panel.Map()->SetCursor(QPoint(2, 0));
    EXPECT_EQ(text("lbCell"), "column 3, row 1: 0");

    panel.ShowNoFrame();
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(panel.Map()->HasFrame());
    EXPECT_EQ(text("lbSource"), "No frame yet: read one or start the acquisition");
    for (const char* name : {"lbTotal", "lbMaximum", "lbCentre"})
        EXPECT_EQ(text(name), "--") << name;
    EXPECT_EQ(text("lbCell"), "column 3, row 1: no frame");
}

// What the window's parts add to it, in the order the operator meets it: the Sensor menu between
// Commands and View with its items and keys (those that need the link or a frame off until then),
// and Tab from the acquisition down the controls' column to the map and its options.
TEST(TAQWindow, SensorMenuAndTabOrderAcrossTheParts) {
    TTempSettingsFolder settings;
    TTAQMainWin win;
    win.show();
    QApplication::processEvents();

    QStringList menus;
    for (QAction* a : win.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&Device", "&Commands", "&Sensor", "&View", "&Help"}));
    auto* sensor = win.findChild<QMenu*>(QStringLiteral("miSensor"));
    ASSERT_NE(sensor, nullptr);
    struct TItem {
        const char* Name; // empty: a separator
        const char* Text;
        const char* Key;
        bool Enabled;       // disconnected, no frame
        const char* Button; // whose hint the item gives, if any
    };
    const TItem items[] = {
        {"miReadFrame", "Read &Frame", "F6", false, "btnReadFrame"},
        {"miStartAcquisition", "&Start Acquisition", "F7", false, "btnStart"},
        {"miStopAcquisition", "S&top Acquisition", "F8", false, "btnStop"},
        {"miTare", "T&are", "", false, "btnTare"},
        {"miSensorInfo", "Sensor &Information", "", false, ""},
        {"", "", "", true, ""},
        {"miSaveCsv", "Save Frame as &CSV...", "", false, "btnSaveCsv"},
        {"miSavePng", "Save Frame as &PNG...", "", false, "btnSavePng"},
        {"miOpenRecording", "&Open Recording...", "", true, "btnOpenRecording"},
    };
    const QList<QAction*> actions = sensor->actions();
    ASSERT_EQ(actions.size(), qsizetype(std::size(items)));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const TItem& it = items[i];
        SCOPED_TRACE(it.Name);
        EXPECT_EQ(actions[i]->isSeparator(), *it.Name == 0);
        EXPECT_EQ(actions[i]->objectName(), it.Name);
        EXPECT_EQ(actions[i]->text(), it.Text);
        EXPECT_EQ(actions[i]->shortcut().toString(), it.Key);
        EXPECT_EQ(actions[i]->isEnabled(), it.Enabled);
        if (*it.Button) {
            const auto* b = win.findChild<QAbstractButton*>(QString::fromLatin1(it.Button));
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(actions[i]->statusTip(), b->statusTip());
        }
    }
    EXPECT_EQ(actions[4]->statusTip(),
              "The matrix, cell size, transducer type, gain and threshold read at connect");

    const QStringList order{
        "btnReadFrame",     "cbCoding",    "edStartPayload", "btnStart",     "btnStop",
        "edGain",           "btnGainRead", "btnGainSet",     "edThreshold",  "btnThresholdRead",
        "btnThresholdSet",  "btnTare",     "btnSaveCsv",     "btnSavePng",   "cbRecord",
        "btnOpenRecording", "btnLive",     "tbPlayback",     "btnPrevFrame", "btnPlay",
        "btnNextFrame",     "Map",         "cbShowValues",   "edRangeMax"};
    QStringList chain;
    for (QWidget* w = win.nextInFocusChain(); w && w != &win; w = w->nextInFocusChain())
        if (order.contains(w->objectName()))
            chain << w->objectName();
    EXPECT_EQ(chain, order);
}
