#include "engine/RLDrawGeometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

TRLDrawPoints Pts(std::initializer_list<std::pair<int, int>> list)
{
    TRLDrawPoints points;
    for (const auto& [x, y] : list)
        points.append(TPoint(x, y));
    return points;
}

std::string Show(const TRLDrawPoints& points)
{
    std::string text;
    for (const TPoint& p : points)
        text += "(" + std::to_string(p.x()) + "," + std::to_string(p.y()) + ")";
    return text;
}

std::string Show(const TRect& r)
{
    return "(" + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + ","
        + std::to_string(r.Bottom) + ")";
}

} // namespace

TEST(DrawKindPoints, BuiltInShapes)
{
    struct Case
    {
        TRLDrawKind Kind;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { dkRectangle, Pts({ { 0, 0 }, { 1, 0 }, { 1, 1 }, { 0, 1 } }) },
        { dkLine, Pts({ { 0, 0 }, { 1, 0 } }) },
        { dkTriangle, Pts({ { 0, 87 }, { 50, 0 }, { 100, 87 } }) },
        { dkArrow, Pts({ { 0, 2 }, { 5, 2 }, { 5, 0 }, { 8, 3 }, { 5, 6 }, { 5, 4 }, { 0, 4 } }) },
        { dkCustom, {} },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(DrawKindPoints(c.Kind)), Show(c.Expected)) << c.Kind;
}

TEST(DrawKindPoints, EllipseIsA36GonOnA2000UnitCircle)
{
    const TRLDrawPoints points = DrawKindPoints(dkElipse);
    ASSERT_EQ(points.size(), 36);
    struct Case
    {
        int K;
        TPoint Expected;
    };
    const Case cases[] = {
        { 0, TPoint(2000, 1000) }, { 3, TPoint(1866, 1500) }, // 30 degrees: cos 0.866025..., sin 0.5
        { 9, TPoint(1000, 2000) }, { 12, TPoint(500, 1866) }, { 18, TPoint(0, 1000) },
        { 27, TPoint(1000, 0) }, { 35, TPoint(1985, 826) }, // 350 degrees
    };
    for (const Case& c : cases)
        EXPECT_EQ(points.at(c.K), c.Expected) << "k = " << c.K;
    EXPECT_EQ(PointsBounds(points), TRect(0, 0, 2000, 2000));
}

TEST(DrawKindData, OneLinePerPointXBlankY)
{
    EXPECT_EQ(DrawKindData(dkRectangle), (QStringList { "0 0", "1 0", "1 1", "0 1" }));
    EXPECT_EQ(DrawKindData(dkTriangle), (QStringList { "0 87", "50 0", "100 87" }));
    EXPECT_TRUE(DrawKindData(dkCustom).isEmpty());
    // The data of every built-in kind reads back as its points.
    for (TRLDrawKind kind : { dkRectangle, dkLine, dkTriangle, dkElipse, dkArrow })
        EXPECT_EQ(Show(ParseDrawData(DrawKindData(kind))), Show(DrawKindPoints(kind))) << kind;
}

TEST(ParseDrawData, SeparatorsPairsAndJunk)
{
    struct Case
    {
        const char* Name;
        QString Text;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { "empty", QString(), {} },
        { "blanks only", QStringLiteral("  \t\r\n "), {} },
        { "two pairs", QStringLiteral("0 0 1 1"), Pts({ { 0, 0 }, { 1, 1 } }) },
        { "odd count drops the last number", QStringLiteral("1 2 3"), Pts({ { 1, 2 } }) },
        { "single number", QStringLiteral("5"), {} },
        { "tabs, line breaks and char 26", QStringLiteral("1\t2\r\n3") + QChar(26) + QStringLiteral("4"),
            Pts({ { 1, 2 }, { 3, 4 } }) },
        { "leading and trailing blanks", QStringLiteral("   7   8   "), Pts({ { 7, 8 } }) },
        { "letter ends the reading", QStringLiteral("1 2 x 3 4"), Pts({ { 1, 2 } }) },
        { "letter glued to a number", QStringLiteral("1 2 3a 4"), Pts({ { 1, 2 } }) },
        { "minus sign ends the reading", QStringLiteral("1 2 -3 4"), Pts({ { 1, 2 } }) },
        { "decimal point ends the reading", QStringLiteral("1.5 2"), {} },
        { "comma is no separator", QStringLiteral("1,2 3 4"), {} },
        { "largest coordinate", QStringLiteral("2147483647 0"), Pts({ { INT_MAX, 0 } }) },
        { "too large ends the reading", QStringLiteral("3 4 2147483648 0 5 6"), Pts({ { 3, 4 } }) },
        { "very long number", QStringLiteral("1 1 ") + QString(400, u'9'), Pts({ { 1, 1 } }) },
        { "leading zeros", QStringLiteral("007 0010"), Pts({ { 7, 10 } }) },
        { "other script digits are junk", QStringLiteral("1 2 \u0663 4"), Pts({ { 1, 2 } }) },
        { "no-break space is junk", QStringLiteral("1\u00A02"), {} },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(ParseDrawData(c.Text)), Show(c.Expected)) << c.Name;
}

TEST(ParseDrawData, LinesAreReadAsOneText)
{
    EXPECT_EQ(Show(ParseDrawData(QStringList { "1 2", "3 4" })), Show(Pts({ { 1, 2 }, { 3, 4 } })));
    // A pair may span two lines: the line break is only a separator.
    EXPECT_EQ(Show(ParseDrawData(QStringList { "1", "2 3", "4" })), Show(Pts({ { 1, 2 }, { 3, 4 } })));
    EXPECT_EQ(Show(ParseDrawData(QStringList { "1 2", "junk", "3 4" })), Show(Pts({ { 1, 2 } })));
}

TEST(PenInsetRect, PullsInRightBottomAndHalfPenWidths)
{
    struct Case
    {
        int PenWidth;
        TRect Expected;
    };
    const TRect client(10, 20, 58, 68);
    const Case cases[] = {
        { 0, TRect(10, 20, 57, 67) },
        { 1, TRect(10, 20, 57, 67) },
        { 2, TRect(11, 21, 57, 67) },
        { 3, TRect(11, 21, 56, 66) },
        { 4, TRect(12, 22, 56, 66) },
        { 5, TRect(12, 22, 55, 65) },
        { -3, TRect(10, 20, 57, 67) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(PenInsetRect(client, c.PenWidth)), Show(c.Expected)) << "pen " << c.PenWidth;
}

TEST(DrawTargetBox, FixedSizesAndKeepVisible)
{
    struct Case
    {
        const char* Name;
        int DrawWidth;
        int DrawHeight;
        TRLDrawOptions Options;
        TRect Expected;
    };
    const TRect r(5, 7, 105, 57); // 100 x 50
    const Case cases[] = {
        { "plain", 0, 0, {}, r },
        { "width", 30, 0, {}, TRect(5, 7, 35, 57) },
        { "height", 0, 20, {}, TRect(5, 7, 105, 27) },
        { "both", 30, 20, {}, TRect(5, 7, 35, 27) },
        { "wider than the client", 300, 0, {}, TRect(5, 7, 305, 57) },
        { "keep visible takes the smaller side", 0, 0, doKeepVisible, TRect(5, 7, 55, 57) },
        { "keep visible after a fixed height", 0, 80, doKeepVisible, TRect(5, 7, 85, 87) },
        { "keep visible after a fixed width", 20, 0, doKeepVisible, TRect(5, 7, 25, 27) },
        { "other options change nothing", 0, 0, TRLDrawOptions(doKeepSize) | doKeepAspectRatio, r },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(DrawTargetBox(r, c.DrawWidth, c.DrawHeight, c.Options)), Show(c.Expected)) << c.Name;
}

TEST(FitPoints, StretchAndAspectRatio)
{
    struct Case
    {
        const char* Name;
        TRLDrawPoints Points;
        TRect Box;
        bool KeepAspect;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { "unit square stretched", DrawKindPoints(dkRectangle), TRect(0, 0, 47, 47), false,
            Pts({ { 0, 0 }, { 47, 0 }, { 47, 47 }, { 0, 47 } }) },
        { "stretch moves to the box corner", Pts({ { 10, 10 }, { 20, 30 } }), TRect(3, 4, 13, 44), false,
            Pts({ { 3, 4 }, { 13, 44 } }) },
        { "stretch, flat shape keeps its height", Pts({ { 0, 5 }, { 1, 5 } }), TRect(0, 0, 40, 10), false,
            Pts({ { 0, 0 }, { 40, 0 } }) },
        { "stretch into a box without width keeps the width", Pts({ { 0, 0 }, { 2, 2 } }), TRect(0, 0, 0, 10),
            false, Pts({ { 0, 0 }, { 2, 10 } }) },
        { "ties round to even", Pts({ { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 0 }, { 4, 0 } }), TRect(0, 0, 2, 0),
            false, Pts({ { 0, 0 }, { 0, 0 }, { 1, 0 }, { 2, 0 }, { 2, 0 } }) },
        { "aspect: smaller factor wins", Pts({ { 0, 0 }, { 10, 10 } }), TRect(0, 0, 100, 50), true,
            Pts({ { 0, 0 }, { 50, 50 } }) },
        { "aspect: flat shape uses the width factor", Pts({ { 0, 0 }, { 1, 0 } }), TRect(2, 2, 30, 10), true,
            Pts({ { 2, 2 }, { 30, 2 } }) },
        { "aspect: single point stays", Pts({ { 7, 9 } }), TRect(0, 0, 30, 10), true, Pts({ { 7, 9 } }) },
        { "stretch: single point goes to the corner", Pts({ { 7, 9 } }), TRect(1, 2, 30, 10), false,
            Pts({ { 1, 2 } }) },
        { "no points", {}, TRect(0, 0, 10, 10), true, {} },
    };
    for (const Case& c : cases) {
        TRLDrawPoints points = c.Points;
        FitPoints(points, c.Box, c.KeepAspect);
        EXPECT_EQ(Show(points), Show(c.Expected)) << c.Name;
    }
}

TEST(FitPoints, ExtremeCoordinatesClampInsteadOfOverflowing)
{
    TRLDrawPoints points = Pts({ { INT_MIN, INT_MIN }, { INT_MAX, INT_MAX } });
    FitPoints(points, TRect(0, 0, 100, 100), false);
    EXPECT_EQ(Show(points), Show(Pts({ { 0, 0 }, { 100, 100 } })));
    points = Pts({ { 0, 0 }, { 1, 1 } });
    FitPoints(points, TRect(INT_MAX - 1, 0, INT_MAX, 1), false);
    EXPECT_EQ(points.at(1).x(), INT_MAX);
}

TEST(RotatePoints, AboutTheRoundedMeanPoint)
{
    struct Case
    {
        const char* Name;
        TRLDrawPoints Points;
        double Angle;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { "no angle", Pts({ { 0, 0 }, { 47, 0 }, { 47, 47 }, { 0, 47 } }), 0,
            Pts({ { 0, 0 }, { 47, 0 }, { 47, 47 }, { 0, 47 } }) },
        // Centre (Round(24.5) = 24, 0): the line turns upright, counter-clockwise on the page.
        { "line by 90", Pts({ { 0, 0 }, { 49, 0 } }), 90, Pts({ { 24, 24 }, { 24, -25 } }) },
        { "line by -90", Pts({ { 0, 0 }, { 49, 0 } }), -90, Pts({ { 24, -24 }, { 24, 25 } }) },
        { "line by 180", Pts({ { 0, 0 }, { 10, 0 } }), 180, Pts({ { 10, 0 }, { 0, 0 } }) },
        { "full turn", Pts({ { 3, 4 }, { 9, 1 }, { 5, 8 } }), 360, Pts({ { 3, 4 }, { 9, 1 }, { 5, 8 } }) },
        { "square by 45", Pts({ { 0, 0 }, { 47, 0 }, { 47, 47 }, { 0, 47 } }), 45,
            Pts({ { -10, 24 }, { 23, -9 }, { 57, 24 }, { 23, 57 } }) },
        { "no points", {}, 30, {} },
    };
    for (const Case& c : cases) {
        TRLDrawPoints points = c.Points;
        RotatePoints(points, c.Angle);
        EXPECT_EQ(Show(points), Show(c.Expected)) << c.Name;
    }
}

TEST(CenterPoints, HalvesTruncateTowardZero)
{
    struct Case
    {
        const char* Name;
        TRLDrawPoints Points;
        TRect R;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { "already centred", Pts({ { 0, 0 }, { 47, 47 } }), TRect(0, 0, 47, 47),
            Pts({ { 0, 0 }, { 47, 47 } }) },
        { "odd room", Pts({ { 0, 0 }, { 10, 4 } }), TRect(0, 0, 15, 9), Pts({ { 2, 2 }, { 12, 6 } }) },
        { "moved into an offset rect", Pts({ { 100, 100 }, { 104, 102 } }), TRect(10, 20, 20, 30),
            Pts({ { 13, 24 }, { 17, 26 } }) },
        // (10 - 13) div 2 = -1, not -2.
        { "shape wider than the rect", Pts({ { 0, 0 }, { 13, 0 } }), TRect(0, 0, 10, 0),
            Pts({ { -1, 0 }, { 12, 0 } }) },
    };
    for (const Case& c : cases) {
        TRLDrawPoints points = c.Points;
        CenterPoints(points, c.R);
        EXPECT_EQ(Show(points), Show(c.Expected)) << c.Name;
    }
}

TEST(ComputeDrawPolygon, DefaultRectangleFillsClientLessOnePixel)
{
    const TRLDrawShape shape;
    EXPECT_EQ(Show(ComputeDrawPolygon(shape, TRect(0, 0, 48, 48), 1)),
        Show(Pts({ { 0, 0 }, { 47, 0 }, { 47, 47 }, { 0, 47 } })));
    EXPECT_EQ(Show(ComputeDrawPolygon(shape, TRect(1, 1, 101, 31), 1)),
        Show(Pts({ { 1, 1 }, { 100, 1 }, { 100, 30 }, { 1, 30 } })));
    // A thick pen keeps the outline inside the client area.
    EXPECT_EQ(Show(ComputeDrawPolygon(shape, TRect(0, 0, 48, 48), 4)),
        Show(Pts({ { 2, 2 }, { 46, 2 }, { 46, 46 }, { 2, 46 } })));
}

TEST(ComputeDrawPolygon, EllipseKeepingAspectIsACircleCentredHorizontally)
{
    TRLDrawShape shape;
    shape.Kind = dkElipse;
    shape.Options = doKeepAspectRatio;
    const TRLDrawPoints points = ComputeDrawPolygon(shape, TRect(0, 0, 100, 50), 1);
    ASSERT_EQ(points.size(), 36);
    const TRect bounds = PointsBounds(points);
    EXPECT_EQ(bounds.Width(), 49);
    EXPECT_EQ(bounds.Height(), 49);
    // (99 - 49) div 2 = 25 on both sides of the 99-pixel row.
    EXPECT_EQ(Show(bounds), Show(TRect(25, 0, 74, 49)));
    // 1000 x (49 / 2000 as a double) lies a hair above 24.5 and rounds up.
    EXPECT_EQ(points.at(0), TPoint(74, 25));
    EXPECT_EQ(points.at(9), TPoint(50, 49));
}

TEST(ComputeDrawPolygon, LineAt90KeepingSizeAndVisibilityIsVerticalThroughTheMiddle)
{
    TRLDrawShape shape;
    shape.Kind = dkLine;
    shape.Options = TRLDrawOptions(doKeepSize) | doKeepVisible;
    shape.Angle = 90;
    struct Case
    {
        TRect Client;
        TRLDrawPoints Expected;
    };
    const Case cases[] = {
        { TRect(0, 0, 100, 50), Pts({ { 49, 49 }, { 49, 0 } }) },
        { TRect(0, 0, 48, 48), Pts({ { 23, 47 }, { 23, 0 } }) },
        { TRect(4, 4, 204, 24), Pts({ { 103, 23 }, { 103, 4 } }) },
    };
    for (const Case& c : cases) {
        const TRLDrawPoints points = ComputeDrawPolygon(shape, c.Client, 1);
        EXPECT_EQ(Show(points), Show(c.Expected)) << Show(c.Client);
        const TRect r = PenInsetRect(c.Client, 1);
        EXPECT_EQ(PointsBounds(points).Height(), r.Height());
    }
}

TEST(ComputeDrawPolygon, RotationIsRefittedUnlessKeepSize)
{
    TRLDrawShape shape;
    shape.Angle = 45;
    EXPECT_EQ(
        Show(PointsBounds(ComputeDrawPolygon(shape, TRect(0, 0, 48, 48), 1))), Show(TRect(0, 0, 47, 47)));
    shape.Options = doKeepSize;
    // Kept at the rotated size, a diamond larger than the box, centred on it.
    const TRect bounds = PointsBounds(ComputeDrawPolygon(shape, TRect(0, 0, 48, 48), 1));
    EXPECT_EQ(bounds.Width(), 67);
    EXPECT_EQ(bounds.Height(), 66);
    EXPECT_EQ(bounds.Left, (47 - 67) / 2);
}

TEST(ComputeDrawPolygon, DataAndSizes)
{
    struct Case
    {
        const char* Name;
        TRLDrawShape Shape;
        TRect Client;
        TRLDrawPoints Expected;
    };
    TRLDrawShape custom;
    custom.Kind = dkCustom;
    custom.Data = QStringList { "0 0 1 1" };
    TRLDrawShape rising = custom;
    rising.Data = QStringList { "1 0 0 1" };
    TRLDrawShape noPoints = custom;
    noPoints.Data = QStringList { "junk" };
    TRLDrawShape ignoredData;
    ignoredData.Data = QStringList { "0 0 9 9 0 9" };
    TRLDrawShape fixedSize;
    fixedSize.DrawWidth = 20;
    fixedSize.DrawHeight = 10;
    TRLDrawShape fixedNotCentred = fixedSize;
    fixedNotCentred.Center = false;
    const Case cases[] = {
        { "falling diagonal", custom, TRect(0, 0, 41, 21), Pts({ { 0, 0 }, { 40, 20 } }) },
        { "rising diagonal", rising, TRect(0, 0, 41, 21), Pts({ { 40, 0 }, { 0, 20 } }) },
        { "custom without points", noPoints, TRect(0, 0, 41, 21), {} },
        { "data is ignored for built-in kinds", ignoredData, TRect(0, 0, 11, 11),
            Pts({ { 0, 0 }, { 10, 0 }, { 10, 10 }, { 0, 10 } }) },
        { "fixed size, centred", fixedSize, TRect(0, 0, 101, 51),
            Pts({ { 40, 20 }, { 60, 20 }, { 60, 30 }, { 40, 30 } }) },
        { "fixed size, at the corner", fixedNotCentred, TRect(0, 0, 101, 51),
            Pts({ { 0, 0 }, { 20, 0 }, { 20, 10 }, { 0, 10 } }) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(ComputeDrawPolygon(c.Shape, c.Client, 1)), Show(c.Expected)) << c.Name;
}

TEST(TranslateLegacyDrawKind, OldKindTable)
{
    struct Case
    {
        QString Value;
        TRLDrawKind Kind;
        TRLDrawOptions Options;
        std::optional<QStringList> Data;
        double AngleIncrement;
    };
    const Case cases[] = {
        { "dkRectangle", dkRectangle, doKeepSize, std::nullopt, 0 },
        { "dkLine", dkCustom, doKeepSize, QStringList { "0 0 1 1" }, 0 },
        { "dkTriangle", dkTriangle, doKeepSize, std::nullopt, 0 },
        { "dkElipse", dkElipse, doKeepSize, std::nullopt, 0 },
        { "dkArrow", dkArrow, doKeepSize, std::nullopt, 0 },
        { "dkCircle", dkElipse, doKeepAspectRatio, std::nullopt, 0 },
        { "dkHorzLine", dkLine, doKeepSize, std::nullopt, 0 },
        { "dkVertLine", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, std::nullopt, 90 },
        { "dkReverseLine", dkCustom, doKeepSize, QStringList { "1 0 0 1" }, 0 },
        { "DKVERTLINE", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, std::nullopt, 90 },
        { "dkcircle", dkElipse, doKeepAspectRatio, std::nullopt, 0 },
    };
    for (const Case& c : cases) {
        const auto result = TranslateLegacyDrawKind(c.Value);
        ASSERT_TRUE(result.has_value()) << c.Value.toStdString();
        EXPECT_EQ(result->Kind, c.Kind) << c.Value.toStdString();
        EXPECT_EQ(result->Options, c.Options) << c.Value.toStdString();
        EXPECT_EQ(result->Data, c.Data) << c.Value.toStdString();
        EXPECT_EQ(result->AngleIncrement, c.AngleIncrement) << c.Value.toStdString();
    }
    for (const char* unknown : { "", "dkCustom", "dkSquare", " dkLine", "dkLine ", "Rectangle" })
        EXPECT_FALSE(TranslateLegacyDrawKind(QString::fromLatin1(unknown)).has_value()) << unknown;
}

TEST(DrawGeometry, HostileSizesClampInsteadOfOverflowing)
{
    EXPECT_EQ(Show(DrawTargetBox(TRect(10, 10, 20, 20), INT_MAX, INT_MIN, {})),
        Show(TRect(10, 10, INT_MAX, INT_MIN + 10)));
    EXPECT_EQ(Show(DrawTargetBox(TRect(INT_MIN, 0, INT_MAX, 5), 0, 0, doKeepVisible)),
        Show(TRect(INT_MIN, 0, INT_MIN + 5, 5)));
    EXPECT_EQ(Show(PenInsetRect(TRect(INT_MIN, INT_MIN, INT_MIN, INT_MIN), INT_MAX)),
        Show(TRect(INT_MIN + INT_MAX / 2, INT_MIN + INT_MAX / 2, INT_MIN, INT_MIN)));
    EXPECT_EQ(Show(PenInsetRect(TRect(INT_MAX, INT_MAX, INT_MAX, INT_MAX), INT_MAX)),
        Show(TRect(INT_MAX, INT_MAX, 1073741823, 1073741823)));

    // Whatever a definition holds, the polygon is computed and stays within the int range.
    TRLDrawShape shape;
    shape.Kind = dkCustom;
    shape.Data = QStringList { "0 0 2147483647 2147483647 0 2147483647" };
    shape.DrawWidth = INT_MAX;
    shape.DrawHeight = INT_MIN;
    for (double angle : { 0.0, 45.0, 1e300, std::nan(""), std::numeric_limits<double>::infinity() }) {
        shape.Angle = angle;
        for (TRLDrawOptions options : { TRLDrawOptions(), TRLDrawOptions(doKeepAspectRatio) | doKeepVisible,
                 TRLDrawOptions(doKeepSize) }) {
            shape.Options = options;
            const TRLDrawPoints points
                = ComputeDrawPolygon(shape, TRect(INT_MAX - 5, INT_MIN, INT_MAX, INT_MAX), INT_MAX);
            EXPECT_EQ(points.size(), 3) << angle;
        }
    }
}

TEST(RotatePoints, AngleThatIsNoNumberCollapsesToTheCentreRatherThanFailing)
{
    TRLDrawPoints points = Pts({ { 0, 0 }, { 10, 0 }, { 10, 10 } });
    RotatePoints(points, std::nan(""));
    // The centre is (Round(20 / 3), Round(10 / 3)) = (7, 3); every rotated offset counts as 0.
    EXPECT_EQ(Show(points), Show(Pts({ { 7, 3 }, { 7, 3 }, { 7, 3 } })));
}
