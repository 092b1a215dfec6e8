#include "widgets/TVrLed.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kOffTemplate = 0xFF800000; // maroon
constexpr QRgb kOnTemplate = 0xFFFF0000;  // red

// One round frame: W white border, K black ring and corners, B body.
constexpr const char* kRoundFrame[] = {
    "KKWWWWWKK", "KWKKKKKWK", "WKKBBBKKW", "WKBBBBBKW", "WKBBBBBKW",
    "WKBBBBBKW", "WKKBBBKKW", "KWKKKKKWK", "KKWWWWWKK",
};

// A rectangular frame: white border, black ring inside it, body inside that.
QRgb RectPixel(int x, int y, int w, int h, QRgb body) {
    const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
    return edge == 0 ? kWhite : edge == 1 ? kBlack : body;
}

QRgb RoundPixel(int x, int y, QRgb body) {
    switch (kRoundFrame[y][x]) {
    case 'W':
        return kWhite;
    case 'B':
        return body;
    default:
        return kBlack;
    }
}

} // namespace

TVrLed::TVrLed(QWidget* parent) : QWidget(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
    setAccessibleDescription(QStringLiteral("Apagado"));
    resize(sizeHint());
}

QString TVrLed::ImageName(TVrLedType type) {
    switch (type) {
    case TVrLedType::ltRounded:
        return QStringLiteral("LI_RND");
    case TVrLedType::ltRectangle:
        return QStringLiteral("LI_RECT");
    case TVrLedType::ltLargeRect:
        return QStringLiteral("LI_BIG");
    case TVrLedType::ltCustom:
        break;
    }
    return {};
}

QImage TVrLed::BuiltInImage(TVrLedType type) {
    QSize frame;
    switch (type) {
    case TVrLedType::ltRounded:
        frame = {9, 9};
        break;
    case TVrLedType::ltRectangle:
        frame = {10, 5};
        break;
    case TVrLedType::ltLargeRect:
        frame = {17, 7};
        break;
    case TVrLedType::ltCustom:
        return {};
    }
    QImage image(frame.width() * 2, frame.height(), QImage::Format_RGB32);
    for (int half = 0; half < 2; ++half) {
        const QRgb body = half == 0 ? kOffTemplate : kOnTemplate;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                image.setPixel(half * frame.width() + x, y,
                               type == TVrLedType::ltRounded
                                   ? RoundPixel(x, y, body)
                                   : RectPixel(x, y, frame.width(), frame.height(), body));
    }
    return image;
}

const QImage& TVrLed::LampImage() const {
    const QPalette& colours = palette();
    const auto resolve = [&](const QColor& colour, QPalette::ColorRole role) {
        return (role == QPalette::NoRole ? colour : colours.color(role)).rgb();
    };
    CacheKey wanted;
    wanted.type = ledType;
    wanted.low = resolve(lampPalette.Low, lampPalette.LowRole);
    wanted.high = resolve(lampPalette.High, lampPalette.HighRole);
    wanted.clear = ledType == TVrLedType::ltCustom ? colours.color(backgroundRole()).rgb() : kBlack;
    wanted.glyphs = ledType == TVrLedType::ltCustom ? glyphs.cacheKey() : -1;
    if (cacheValid && wanted == cacheKey)
        return cache;

    const bool custom = ledType == TVrLedType::ltCustom;
    cache = (custom ? glyphs : BuiltInImage(ledType)).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < cache.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(cache.scanLine(y));
        for (int x = 0; x < cache.width(); ++x) {
            QRgb pixel = line[x];
            // Each pixel is mapped once, so a High equal to maroon does not
            // turn the off body into High as well.
            if (!custom && pixel == kOffTemplate)
                pixel = wanted.low;
            else if (!custom && pixel == kOnTemplate)
                pixel = wanted.high;
            if ((pixel | 0xFF000000) == (wanted.clear | 0xFF000000))
                pixel = 0;
            line[x] = pixel;
        }
    }
    cacheKey = wanted;
    cacheValid = true;
    return cache;
}

TVrLed::Placement TVrLed::Place() const {
    const QImage& image = LampImage();
    const QSize glyph = image.isNull() ? QSize(0, 0) : QSize(image.width() / 2, image.height());
    QSize text(0, 0);
    if (!caption.isEmpty()) {
        const QFontMetrics metrics(font());
        text = {metrics.horizontalAdvance(caption), metrics.height()};
    }
    const int gap = (caption.isEmpty() || glyph.isEmpty()) ? 0 : spacing;
    const bool across = layout == TVrImageLayout::ImageLeft || layout == TVrImageLayout::ImageRight;
    const bool imageFirst =
        layout == TVrImageLayout::ImageLeft || layout == TVrImageLayout::ImageTop;

    // Along the layout axis: the start of the image or the caption, whichever
    // comes first. Across it: each item centred on its own.
    const int length = across ? width() : height();
    const int glyphLength = across ? glyph.width() : glyph.height();
    const int textLength = across ? text.width() : text.height();
    const int group = glyphLength + gap + textLength;
    int glyphAt = 0;
    int textAt = 0;
    if (margin < 0) {
        const int start = (length - group) / 2;
        glyphAt = imageFirst ? start : start + textLength + gap;
        textAt = imageFirst ? start + glyphLength + gap : start;
    } else if (imageFirst) {
        glyphAt = margin;
        textAt = glyphAt + glyphLength + gap;
    } else {
        glyphAt = length - margin - glyphLength;
        textAt = glyphAt - gap - textLength;
    }
    const auto centred = [](int space, int size) { return (space - size) / 2; };
    Placement placement;
    if (across) {
        placement.image = {QPoint(glyphAt, centred(height(), glyph.height())), glyph};
        placement.text = {QPoint(textAt, centred(height(), text.height())), text};
    } else {
        placement.image = {QPoint(centred(width(), glyph.width()), glyphAt), glyph};
        placement.text = {QPoint(centred(width(), text.width()), textAt), text};
    }
    return placement;
}

QRect TVrLed::ImageRect() const {
    return Place().image;
}

void TVrLed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent)
        painter.fillRect(rect(), palette().color(backgroundRole()));
    const Placement placement = Place();
    const QImage& image = LampImage();
    if (!placement.image.isEmpty()) {
        const int frameWidth = placement.image.width();
        painter.drawImage(placement.image.topLeft(), image,
                          QRect(active ? frameWidth : 0, 0, frameWidth, image.height()));
    }
    if (!caption.isEmpty()) {
        painter.setFont(font());
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(placement.text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         caption);
    }
}

void TVrLed::changeEvent(QEvent* event) {
    // Palette roles and the background may now resolve to other colours; the
    // image cache notices that by itself on the next paint.
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::FontChange:
    case QEvent::StyleChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TVrLed::SetActive(bool value) {
    if (value == active)
        return;
    active = value;
    setAccessibleDescription(active ? QStringLiteral("Aceso") : QStringLiteral("Apagado"));
    update();
    emit OnChange();
}

void TVrLed::SetPalette(const TVrPalette& value) {
    if (value == lampPalette)
        return;
    lampPalette = value;
    update();
}

void TVrLed::SetLedType(TVrLedType value) {
    if (value == ledType)
        return;
    ledType = value;
    update();
}

void TVrLed::SetGlyphs(const QImage& value) {
    if (value.cacheKey() == glyphs.cacheKey())
        return;
    glyphs = value;
    update();
}

void TVrLed::SetLayout(TVrImageLayout value) {
    if (value == layout)
        return;
    layout = value;
    update();
}

void TVrLed::SetMargin(int value) {
    if (value == margin)
        return;
    margin = value;
    update();
}

void TVrLed::SetSpacing(int value) {
    if (value == spacing)
        return;
    spacing = value;
    update();
}

void TVrLed::SetTransparent(bool value) {
    if (value == transparent)
        return;
    transparent = value;
    update();
}

void TVrLed::SetCaption(const QString& value) {
    if (value == caption)
        return;
    caption = value;
    update();
}
