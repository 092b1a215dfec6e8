#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QWidget>

enum class TVrLedType { ltRounded, ltRectangle, ltLargeRect, ltCustom };
enum class TVrImageLayout { ImageLeft, ImageRight, ImageTop, ImageBottom };

// The two colours of a lamp. A role other than NoRole takes that colour from
// the lamp's widget palette instead of Low/High, so it follows the system
// (LowRole = QPalette::Button gives a lamp whose off body is the button face).
struct TVrPalette {
    QColor Low = QColor(0, 128, 0);  // green
    QColor High = QColor(0, 255, 0); // lime
    QPalette::ColorRole LowRole = QPalette::NoRole;
    QPalette::ColorRole HighRole = QPalette::NoRole;
    bool operator==(const TVrPalette&) const = default;
};

// Two-state lamp. Each lamp type has an image of two frames side by side
// (off left, on right); the template colours maroon (128,0,0) and red
// (255,0,0) are painted in Palette.Low and Palette.High, and black is
// transparent, so the widget's background shows through it. For ltCustom the
// Glyphs image is used as it is, with the background colour as transparent.
//
// The frame is placed like the image of a push button: by Layout beside the
// caption, Margin pixels from its edge (-1 centres image and caption as a
// group; an odd free pixel goes to the right or bottom), Spacing pixels from
// the caption (0 without a caption). The background is the palette colour of
// backgroundRole() (black by default), the caption is drawn in the
// foregroundRole() colour (white by default).
class TVrLed : public QWidget {
    Q_OBJECT
public:
    explicit TVrLed(QWidget* parent = nullptr);

    bool Active() const { return active; }
    // Redraws and emits OnChange only when the state changes.
    void SetActive(bool value);

    TVrPalette Palette() const { return lampPalette; }
    void SetPalette(const TVrPalette& value);
    TVrLedType LedType() const { return ledType; }
    void SetLedType(TVrLedType value);
    QImage Glyphs() const { return glyphs; }
    void SetGlyphs(const QImage& value);

    TVrImageLayout Layout() const { return layout; }
    void SetLayout(TVrImageLayout value);
    int Margin() const { return margin; }
    void SetMargin(int value);
    int Spacing() const { return spacing; }
    void SetSpacing(int value);
    // A transparent lamp paints no background.
    bool Transparent() const { return transparent; }
    void SetTransparent(bool value);
    QString Caption() const { return caption; }
    void SetCaption(const QString& value);

    // The built-in image of a lamp type in its template colours, named
    // ImageName(type): "LI_RND" 18 x 9, "LI_RECT" 20 x 5, "LI_BIG" 34 x 7.
    // Empty for ltCustom.
    static QImage BuiltInImage(TVrLedType type);
    static QString ImageName(TVrLedType type);

    // Where the current frame is drawn, in widget coordinates.
    QRect ImageRect() const;

    QSize sizeHint() const override { return {25, 25}; }

signals:
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Placement {
        QRect image;
        QRect text;
    };
    Placement Place() const;
    // The image of the current type with the palette applied and the
    // transparent colour cleared; rebuilt when any of its inputs changed.
    const QImage& LampImage() const;

    bool active = false;
    TVrPalette lampPalette{QColor(128, 0, 0), QColor(255, 0, 0)};
    TVrLedType ledType = TVrLedType::ltRounded;
    QImage glyphs;
    TVrImageLayout layout = TVrImageLayout::ImageLeft;
    int margin = -1;
    int spacing = 5;
    bool transparent = false;
    QString caption;

    struct CacheKey {
        TVrLedType type = TVrLedType::ltCustom;
        QRgb low = 0, high = 0, clear = 0;
        qint64 glyphs = -1;
        bool operator==(const CacheKey&) const = default;
    };
    mutable CacheKey cacheKey;
    mutable QImage cache;
    mutable bool cacheValid = false;
};
