// The drawn spin images, the lamps and the screen bar, checked by their pixels.
#include "panel/IndicatorLamp.h"
#include "panel/OnOffLamp.h"
#include "panel/ScreenBar.h"
#include "panel/SpinImages.h"

#include <QApplication>
#include <QTest>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kGrey(192, 192, 192);
const QColor kDarkGrey(128, 128, 128);
const QColor kBlack(0, 0, 0);

QColor pixelOf(QWidget &widget, QPoint at)
{
    return widget.grab().toImage().pixelColor(at);
}

} // namespace

class PanelPicturesTest : public QObject
{
    Q_OBJECT
private slots:
    void spinImagesAreDrawnInThePalette();
    void onOffLampLights();
    void indicatorLampStartsInButtonColour();
    void screenBarSizeAndBoxes();
};

void PanelPicturesTest::spinImagesAreDrawnInThePalette()
{
    using Kind = SpinImages::Kind;
    const QSet<QRgb> palette{kWhite.rgb(), kGrey.rgb(), kDarkGrey.rgb(), kBlack.rgb()};
    for (Kind kind : {Kind::Rest, Kind::PlusPressed, Kind::MinusPressed, Kind::Disabled}) {
        const QImage image = SpinImages::image(kind);
        QCOMPARE(image.size(), QSize(12, 24));
        QCOMPARE(SpinImages::pixmap(kind).size(), QSize(12, 24));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(palette.contains(image.pixelColor(x, y).rgb()), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }

    const QImage rest = SpinImages::image(Kind::Rest);
    // Raised: white upper-left edge, black lower-right edge, dark grey inside it, grey face.
    QCOMPARE(rest.pixelColor(0, 0), kWhite);
    QCOMPARE(rest.pixelColor(0, 12), kWhite);
    QCOMPARE(rest.pixelColor(11, 11), kBlack);
    QCOMPARE(rest.pixelColor(11, 23), kBlack);
    QCOMPARE(rest.pixelColor(10, 10), kDarkGrey);
    QCOMPARE(rest.pixelColor(2, 2), kGrey);
    // Plus in the upper button (both arms), minus in the lower one (no vertical arm).
    QCOMPARE(rest.pixelColor(5, 5), kBlack);
    QCOMPARE(rest.pixelColor(5, 3), kBlack);
    QCOMPARE(rest.pixelColor(3, 5), kBlack);
    QCOMPARE(rest.pixelColor(5, 17), kBlack);
    QCOMPARE(rest.pixelColor(3, 17), kBlack);
    QCOMPARE(rest.pixelColor(5, 15), kGrey);

    const QImage plus = SpinImages::image(Kind::PlusPressed);
    QCOMPARE(plus.pixelColor(0, 5), kBlack);
    QCOMPARE(plus.pixelColor(11, 5), kWhite);
    QCOMPARE(plus.pixelColor(5, 11), kWhite);
    // The lower button is untouched.
    for (int y = 12; y < 24; ++y)
        for (int x = 0; x < 12; ++x)
            QCOMPARE(plus.pixelColor(x, y), rest.pixelColor(x, y));

    const QImage minus = SpinImages::image(Kind::MinusPressed);
    QCOMPARE(minus.pixelColor(0, 17), kBlack);
    QCOMPARE(minus.pixelColor(11, 17), kWhite);
    QCOMPARE(minus.pixelColor(0, 5), kWhite);

    // Disabled: raised buttons, signs in dark grey with a white shadow and nothing black inside.
    const QImage disabled = SpinImages::image(Kind::Disabled);
    QCOMPARE(disabled.pixelColor(0, 0), kWhite);
    QCOMPARE(disabled.pixelColor(11, 11), kBlack);
    QCOMPARE(disabled.pixelColor(5, 5), kDarkGrey);
    QCOMPARE(disabled.pixelColor(5, 17), kDarkGrey);
    QCOMPARE(disabled.pixelColor(6, 18), kWhite);
    for (int y : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21})
        for (int x = 1; x < 10; ++x)
            QVERIFY(disabled.pixelColor(x, y) != kBlack);
}

void PanelPicturesTest::onOffLampLights()
{
    OnOffLamp lamp(2);
    QCOMPARE(lamp.objectName(), QStringLiteral("Label_OnOff(2)"));
    lamp.show();
    const QPoint centre(lamp.width() / 2, lamp.height() / 2);
    QVERIFY(!lamp.isLit());
    QCOMPARE(pixelOf(lamp, centre), kBlack);
    lamp.setLit(true);
    QVERIFY(lamp.isLit());
    QCOMPARE(pixelOf(lamp, centre), lamp.palette().color(QPalette::WindowText));
    QCOMPARE(pixelOf(lamp, QPoint(0, 0)), OnOffLamp::litColour());
    lamp.setLit(false);
    QCOMPARE(pixelOf(lamp, centre), kBlack);
}

void PanelPicturesTest::indicatorLampStartsInButtonColour()
{
    IndicatorLamp lamp(QStringLiteral("Picture_Busy"));
    QCOMPARE(lamp.objectName(), QStringLiteral("Picture_Busy"));
    QCOMPARE(lamp.color(), QApplication::palette().color(QPalette::Button));
    lamp.show();
    QCOMPARE(pixelOf(lamp, QPoint(3, 3)), QApplication::palette().color(QPalette::Button));
    lamp.setColor(Qt::red);
    QCOMPARE(lamp.color(), QColor(Qt::red));
    QCOMPARE(pixelOf(lamp, QPoint(3, 3)), QColor(Qt::red));
}

void PanelPicturesTest::screenBarSizeAndBoxes()
{
    QCOMPARE(ScreenBar::pixelSizeFor(96, 96), QSize(65, 20));
    QCOMPARE(ScreenBar::pixelSizeFor(144, 144), QSize(98, 30)); // 97.5 rounds up

    ScreenBar bar;
    QCOMPARE(bar.objectName(), QStringLiteral("Picture_Screen"));
    QCOMPARE(bar.size(), ScreenBar::pixelSizeFor(bar.logicalDpiX(), bar.logicalDpiY()));
    bar.show();

    // Five bars as the read-back draws them for 5 kV: x = 1 + 6 (k - 1), corners (x, 1), (x + 3, 13).
    for (int k = 1; k <= 5; ++k) {
        const int x = 1 + 6 * (k - 1);
        bar.drawBox(QPoint(x, 1), QPoint(x + 3, 13));
    }
    QCOMPARE(bar.boxes().size(), 5);
    QCOMPARE(bar.boxes().first(), QRect(1, 1, 3, 12));
    QCOMPARE(bar.boxes().last(), QRect(25, 1, 3, 12));

    const QImage image = bar.grab().toImage();
    const QColor green = ScreenBar::drawingColour();
    QCOMPARE(image.pixelColor(0, 0), kBlack);
    QCOMPARE(image.pixelColor(1, 1), green);
    QCOMPARE(image.pixelColor(3, 12), green);
    QCOMPARE(image.pixelColor(4, 1), kBlack);  // 3 wide
    QCOMPARE(image.pixelColor(1, 13), kBlack); // 12 high
    QCOMPARE(image.pixelColor(26, 6), green);
    QCOMPARE(image.pixelColor(31, 6), kBlack); // no sixth bar

    // A marker left of the box (0.5 kV, module off) is kept but not visible; the corners may
    // come in either order.
    bar.clear();
    QVERIFY(bar.boxes().isEmpty());
    bar.drawBox(QPoint(-2, 13), QPoint(-5, 1));
    QCOMPARE(bar.boxes(), QList<QRect>{QRect(-5, 1, 3, 12)});
    const QImage cleared = bar.grab().toImage();
    for (int y = 0; y < cleared.height(); ++y)
        for (int x = 0; x < cleared.width(); ++x)
            QCOMPARE(cleared.pixelColor(x, y), kBlack);
}

QTEST_MAIN(PanelPicturesTest)
#include "PanelPicturesTest.moc"
