#include "widgets/TVrLed.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor kPanel(212, 208, 200);
const QColor kBackground(10, 20, 30);

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000;
}

// The window's lamp: 25 x 17, large rectangle, off body in the panel colour.
void MakeWindowLamp(TVrLed& led) {
    led.resize(25, 17);
    led.SetLedType(TVrLedType::ltLargeRect);
    led.SetPalette({kPanel, Qt::red});
    QPalette colours = led.palette();
    colours.setColor(QPalette::Window, kBackground);
    led.setPalette(colours);
}

// Checks one 17 x 7 frame drawn at (left, top): white border, a ring in the
// background colour, a 13 x 3 body in the given colour.
void CheckLargeFrame(const QImage& image, int left, int top, QColor ring, QColor body) {
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 17; ++x) {
            const int edge = std::min({x, y, 16 - x, 6 - y});
            const QColor want = edge == 0 ? QColor(Qt::white) : edge == 1 ? ring : body;
            QVERIFY2(At(image, left + x, top + y) == want.rgb(),
                     qPrintable(QStringLiteral("frame pixel %1,%2").arg(x).arg(y)));
        }
}

} // namespace

class TVrLedTest : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void builtInImages_data();
    void builtInImages();
    void largeImageMatchesItsPicture();
    void windowLampRendersCentred_data();
    void windowLampRendersCentred();
    void paletteRoleFollowsWidgetPalette();
    void transparentShowsParent();
    void customGlyphsUseHalves();
    void placement_data();
    void placement();
    void captionBesideImage();
    void onChangeOnlyOnChange();
};

void TVrLedTest::defaults() {
    TVrLed led;
    QCOMPARE(led.size(), QSize(25, 25));
    QCOMPARE(led.sizeHint(), QSize(25, 25));
    QVERIFY(!led.Active());
    QCOMPARE(led.LedType(), TVrLedType::ltRounded);
    QCOMPARE(led.Palette().Low, QColor(128, 0, 0));
    QCOMPARE(led.Palette().High, QColor(255, 0, 0));
    QCOMPARE(led.Margin(), -1);
    QCOMPARE(led.Spacing(), 5);
    QCOMPARE(led.palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(led.palette().color(QPalette::WindowText), QColor(Qt::white));
    // A palette made on its own is green and lime.
    QCOMPARE(TVrPalette{}.Low, QColor(0, 128, 0));
    QCOMPARE(TVrPalette{}.High, QColor(0, 255, 0));
}

void TVrLedTest::builtInImages_data() {
    QTest::addColumn<TVrLedType>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("rounded") << TVrLedType::ltRounded << "LI_RND" << QSize(18, 9);
    QTest::newRow("rectangle") << TVrLedType::ltRectangle << "LI_RECT" << QSize(20, 5);
    QTest::newRow("large") << TVrLedType::ltLargeRect << "LI_BIG" << QSize(34, 7);
}

void TVrLedTest::builtInImages() {
    QFETCH(TVrLedType, type);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QCOMPARE(TVrLed::ImageName(type), name);
    const QImage image = TVrLed::BuiltInImage(type);
    QCOMPARE(image.size(), size);
    // Off frame left in maroon, on frame right in red, and no other colours
    // than the two templates, white and black.
    const int half = size.width() / 2;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const QRgb pixel = At(image, x, y);
            const QRgb body = x < half ? qRgb(128, 0, 0) : qRgb(255, 0, 0);
            QVERIFY(pixel == body || pixel == qRgb(255, 255, 255) || pixel == qRgb(0, 0, 0));
        }
    const QImage off = image.copy(0, 0, half, size.height());
    const QImage on = image.copy(half, 0, half, size.height());
    QCOMPARE(At(off, half / 2, size.height() / 2), qRgb(128, 0, 0));
    QCOMPARE(At(on, half / 2, size.height() / 2), qRgb(255, 0, 0));
    QVERIFY(TVrLed::BuiltInImage(TVrLedType::ltCustom).isNull());
}

void TVrLedTest::largeImageMatchesItsPicture() {
    const QImage image = TVrLed::BuiltInImage(TVrLedType::ltLargeRect);
    CheckLargeFrame(image, 0, 0, Qt::black, QColor(128, 0, 0));
    CheckLargeFrame(image, 17, 0, Qt::black, QColor(255, 0, 0));
}

void TVrLedTest::windowLampRendersCentred_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<QColor>("body");
    QTest::newRow("off") << false << kPanel;
    QTest::newRow("lit") << true << QColor(Qt::red);
}

void TVrLedTest::windowLampRendersCentred() {
    QFETCH(bool, active);
    QFETCH(QColor, body);
    TVrLed led;
    MakeWindowLamp(led);
    led.SetActive(active);
    const QImage shot = led.grab().toImage();
    QCOMPARE(shot.size(), QSize(25, 17));
    CheckLargeFrame(shot, 4, 5, kBackground, body);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 25; ++x)
            if (!QRect(4, 5, 17, 7).contains(x, y))
                QVERIFY2(At(shot, x, y) == kBackground.rgb(),
                         qPrintable(QStringLiteral("outside pixel %1,%2").arg(x).arg(y)));
}

void TVrLedTest::paletteRoleFollowsWidgetPalette() {
    TVrLed led;
    MakeWindowLamp(led);
    TVrPalette lamp = led.Palette();
    lamp.LowRole = QPalette::Button;
    led.SetPalette(lamp);
    QPalette colours = led.palette();
    colours.setColor(QPalette::Button, QColor(1, 2, 3));
    led.setPalette(colours);
    QCOMPARE(At(led.grab().toImage(), 12, 8), qRgb(1, 2, 3));
    colours.setColor(QPalette::Button, QColor(4, 5, 6));
    led.setPalette(colours);
    QCOMPARE(At(led.grab().toImage(), 12, 8), qRgb(4, 5, 6));

    // The window's lamp on a panel: the background follows the button face
    // too, through the ring and around the frame.
    led.setBackgroundRole(QPalette::Button);
    const QImage shot = led.grab().toImage();
    CheckLargeFrame(shot, 4, 5, QColor(4, 5, 6), QColor(4, 5, 6));
    QCOMPARE(At(shot, 0, 0), qRgb(4, 5, 6));
}

void TVrLedTest::transparentShowsParent() {
    QWidget parent;
    parent.resize(25, 17);
    parent.setAutoFillBackground(true);
    QPalette colours = parent.palette();
    colours.setColor(QPalette::Window, QColor(0, 200, 0));
    parent.setPalette(colours);
    auto* led = new TVrLed(&parent);
    MakeWindowLamp(*led);
    led->SetTransparent(true);
    const QImage shot = parent.grab().toImage();
    CheckLargeFrame(shot, 4, 5, QColor(0, 200, 0), kPanel);
    QCOMPARE(At(shot, 0, 0), qRgb(0, 200, 0));
}

void TVrLedTest::customGlyphsUseHalves() {
    // Two 3 x 1 frames: off blue, on yellow, the middle pixel of each in the
    // lamp's background colour, which is transparent for custom glyphs.
    QImage glyphs(6, 1, QImage::Format_RGB32);
    const QRgb pixels[] = {qRgb(0, 0, 255),   kBackground.rgb(), qRgb(0, 0, 255),
                           qRgb(255, 255, 0), kBackground.rgb(), qRgb(255, 255, 0)};
    for (int x = 0; x < 6; ++x)
        glyphs.setPixel(x, 0, pixels[x]);
    QWidget parent;
    parent.resize(25, 17);
    parent.setAutoFillBackground(true);
    QPalette colours = parent.palette();
    colours.setColor(QPalette::Window, QColor(0, 200, 0));
    parent.setPalette(colours);
    auto* led = new TVrLed(&parent);
    MakeWindowLamp(*led);
    led->SetLedType(TVrLedType::ltCustom);
    led->SetGlyphs(glyphs);
    led->SetTransparent(true);
    QCOMPARE(led->ImageRect(), QRect(11, 8, 3, 1));
    QImage shot = parent.grab().toImage();
    QCOMPARE(At(shot, 11, 8), qRgb(0, 0, 255));
    QCOMPARE(At(shot, 12, 8), qRgb(0, 200, 0));
    led->SetActive(true);
    shot = parent.grab().toImage();
    QCOMPARE(At(shot, 13, 8), qRgb(255, 255, 0));
    QCOMPARE(At(shot, 12, 8), qRgb(0, 200, 0));
}

void TVrLedTest::placement_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<TVrImageLayout>("layout");
    QTest::addColumn<int>("margin");
    QTest::addColumn<QRect>("image");
    using L = TVrImageLayout;
    QTest::newRow("window lamp") << QSize(25, 17) << L::ImageLeft << -1 << QRect(4, 5, 17, 7);
    QTest::newRow("odd space: extra pixel after")
        << QSize(26, 18) << L::ImageLeft << -1 << QRect(4, 5, 17, 7);
    QTest::newRow("margin from left") << QSize(25, 17) << L::ImageLeft << 2 << QRect(2, 5, 17, 7);
    QTest::newRow("margin from right") << QSize(25, 17) << L::ImageRight << 2 << QRect(6, 5, 17, 7);
    QTest::newRow("margin from top") << QSize(25, 17) << L::ImageTop << 1 << QRect(4, 1, 17, 7);
    QTest::newRow("margin from bottom")
        << QSize(25, 17) << L::ImageBottom << 1 << QRect(4, 9, 17, 7);
    QTest::newRow("top centred") << QSize(25, 17) << L::ImageTop << -1 << QRect(4, 5, 17, 7);
}

void TVrLedTest::placement() {
    QFETCH(QSize, size);
    QFETCH(TVrImageLayout, layout);
    QFETCH(int, margin);
    QFETCH(QRect, image);
    TVrLed led;
    led.SetLedType(TVrLedType::ltLargeRect);
    led.resize(size);
    led.SetLayout(layout);
    led.SetMargin(margin);
    QCOMPARE(led.ImageRect(), image);
}

void TVrLedTest::captionBesideImage() {
    TVrLed led;
    led.SetLedType(TVrLedType::ltLargeRect);
    led.resize(120, 20);
    led.SetCaption(QStringLiteral("Porta"));
    const int textWidth = QFontMetrics(led.font()).horizontalAdvance(led.Caption());
    // The image and the caption are centred as one group, 5 pixels apart.
    QCOMPARE(led.ImageRect().left(), (120 - (17 + 5 + textWidth)) / 2);
    const QImage shot = led.grab().toImage();
    bool textDrawn = false;
    for (int y = 0; y < 20 && !textDrawn; ++y)
        for (int x = led.ImageRect().right() + 1; x < 120 && !textDrawn; ++x)
            textDrawn = At(shot, x, y) != qRgb(0, 0, 0);
    QVERIFY(textDrawn);
}

void TVrLedTest::onChangeOnlyOnChange() {
    TVrLed led;
    QSignalSpy changes(&led, &TVrLed::OnChange);
    led.SetActive(true);
    led.SetActive(true);
    QCOMPARE(changes.count(), 1);
    QVERIFY(led.Active());
    led.SetActive(false);
    led.SetActive(false);
    QCOMPARE(changes.count(), 2);
    QVERIFY(!led.Active());
}

QTEST_MAIN(TVrLedTest)
#include "TVrLedTest.moc"
