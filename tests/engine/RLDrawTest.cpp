#include "engine/RLDraw.h"
#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <QMetaObject>
#include <memory>

namespace {

std::string Show(const TRLDrawPoints& points)
{
    std::string text;
    for (const TPoint& p : points)
        text += "(" + std::to_string(p.x()) + "," + std::to_string(p.y()) + ")";
    return text;
}

bool Stored(const TRLCustomDraw& draw, const char* name)
{
    const QMetaObject* meta = draw.metaObject();
    const int index = meta->indexOfProperty(name);
    EXPECT_GE(index, 0) << name;
    return index >= 0 && static_cast<const TComponent&>(draw).IsPropertyStored(meta->property(index));
}

// A band inside a report, with a drawing on it: what a site records the drawing into.
struct DrawOnBand
{
    std::unique_ptr<TComponent> Owner = std::make_unique<TComponent>();
    TRLCustomReport* Report = new TRLCustomReport(Owner.get());
    TRLCustomBand* Band = new TRLCustomBand(Owner.get());
    TRLDraw* Draw = new TRLDraw(Owner.get());

    DrawOnBand()
    {
        Report->SetName("Report");
        Band->SetName("Band");
        Draw->SetName("Draw");
        Band->SetParent(Report);
        Band->SetBounds(0, 0, 300, 120);
        Draw->SetParent(Band);
    }

    TRLGraphicSurface& Surface() { return *Band->Surface(); }

    // The objects the last PrintControl recorded.
    std::vector<TRLGraphicObject*> Record()
    {
        Surface().Clear();
        Draw->PrintControl();
        std::vector<TRLGraphicObject*> objects;
        for (int i = 0; i < Surface().ObjectCount(); ++i)
            objects.push_back(Surface().Objects(i));
        return objects;
    }

    TRLPolygonObject* RecordedPolygon()
    {
        const auto objects = Record();
        if (objects.empty() || objects.back()->Kind() != okPolygon)
            return nullptr;
        return static_cast<TRLPolygonObject*>(objects.back());
    }
};

} // namespace

TEST(TRLDraw, NewDrawingDefaults)
{
    TRLDraw draw;
    EXPECT_EQ(draw.Width(), 48);
    EXPECT_EQ(draw.Height(), 48);
    EXPECT_EQ(draw.DrawKind(), dkRectangle);
    EXPECT_TRUE(draw.DrawData().isEmpty());
    EXPECT_EQ(draw.Options(), TRLDrawOptions());
    EXPECT_EQ(draw.Angle(), 0.0);
    EXPECT_TRUE(draw.Center());
    EXPECT_EQ(draw.DrawWidth(), 0);
    EXPECT_EQ(draw.DrawHeight(), 0);
    EXPECT_TRUE(draw.Transparent());
    EXPECT_EQ(draw.Pen()->Color(), clBlack);
    EXPECT_EQ(draw.Pen()->Width(), 1);
    EXPECT_EQ(draw.Brush()->Color(), clWhite);
    EXPECT_EQ(draw.Brush()->Style(), bsSolid);
    EXPECT_EQ(Show(draw.DesignPolygon()), "(0,0)(47,0)(47,47)(0,47)");
}

TEST(TRLDraw, DrawKindRewritesDrawData)
{
    struct Case
    {
        TRLDrawKind Kind;
        QStringList Data;
    };
    const Case cases[] = {
        { dkLine, { "0 0", "1 0" } },
        { dkTriangle, { "0 87", "50 0", "100 87" } },
        { dkArrow, { "0 2", "5 2", "5 0", "8 3", "5 6", "5 4", "0 4" } },
        { dkRectangle, { "0 0", "1 0", "1 1", "0 1" } },
    };
    TRLDraw draw;
    for (const Case& c : cases) {
        draw.SetDrawKind(c.Kind);
        EXPECT_EQ(draw.DrawKind(), c.Kind);
        EXPECT_EQ(draw.DrawData(), c.Data) << c.Kind;
    }
    draw.SetDrawKind(dkElipse);
    EXPECT_EQ(draw.DrawData().size(), 36);
    EXPECT_EQ(draw.DrawData().first(), "2000 1000");
    // Turning to dkCustom keeps the points the drawing had.
    draw.SetDrawKind(dkCustom);
    EXPECT_EQ(draw.DrawData().size(), 36);
    EXPECT_EQ(PointsBounds(draw.DesignPolygon()),
        PointsBounds(ComputeDrawPolygon(
            [] {
                TRLDrawShape s;
                s.Kind = dkElipse;
                return s;
            }(),
            draw.DesignClientRect(), 1)));
}

TEST(TRLDraw, DrawDataTurnsTheDrawingCustom)
{
    TRLDraw draw;
    draw.SetDrawKind(dkTriangle);
    // The same points again change nothing.
    draw.SetDrawData({ "0 87", "50 0", "100 87" });
    EXPECT_EQ(draw.DrawKind(), dkTriangle);
    draw.SetDrawData({ "0 0", "10 0", "5 5" });
    EXPECT_EQ(draw.DrawKind(), dkCustom);
    EXPECT_EQ(draw.DrawData(), (QStringList { "0 0", "10 0", "5 5" }));
    EXPECT_EQ(Show(draw.DesignPolygon()), "(0,0)(47,0)(24,47)");
    // Junk data draws nothing rather than failing.
    draw.SetDrawData({ "abc" });
    EXPECT_TRUE(draw.DesignPolygon().isEmpty());
}

TEST(TRLDraw, StoredProperties)
{
    TRLDraw draw;
    EXPECT_FALSE(Stored(draw, "DrawData"));
    EXPECT_FALSE(Stored(draw, "DrawWidth"));
    EXPECT_FALSE(Stored(draw, "DrawHeight"));
    EXPECT_FALSE(Stored(draw, "DrawKind"));
    EXPECT_FALSE(Stored(draw, "Angle"));
    EXPECT_FALSE(Stored(draw, "Center"));
    EXPECT_FALSE(Stored(draw, "Options"));

    draw.SetDrawKind(dkTriangle);
    EXPECT_TRUE(Stored(draw, "DrawKind"));
    EXPECT_FALSE(Stored(draw, "DrawData")) << "built-in points are never stored";
    draw.SetDrawData({ "1 2 3 4" });
    EXPECT_TRUE(Stored(draw, "DrawData"));

    draw.SetDrawHeight(20);
    EXPECT_TRUE(Stored(draw, "DrawWidth")) << "stored together with a non-zero height";
    EXPECT_TRUE(Stored(draw, "DrawHeight"));
    draw.SetDrawHeight(0);
    draw.SetDrawWidth(7);
    EXPECT_TRUE(Stored(draw, "DrawWidth"));
    EXPECT_TRUE(Stored(draw, "DrawHeight"));
    draw.SetDrawWidth(0);
    EXPECT_FALSE(Stored(draw, "DrawWidth"));

    draw.SetAngle(30);
    draw.SetCenter(false);
    draw.SetOptions(doKeepSize);
    EXPECT_TRUE(Stored(draw, "Angle"));
    EXPECT_TRUE(Stored(draw, "Center"));
    EXPECT_TRUE(Stored(draw, "Options"));
}

TEST(TRLDraw, PenAndBrushAreCopiedNotAdopted)
{
    TRLDraw draw;
    TPen pen;
    pen.SetColor(clRed);
    pen.SetWidth(3);
    TBrush brush;
    brush.SetColor(clSilver);
    brush.SetStyle(bsCross);
    draw.SetPen(&pen);
    draw.SetBrush(&brush);
    EXPECT_NE(draw.Pen(), &pen);
    EXPECT_NE(draw.Brush(), &brush);
    EXPECT_EQ(draw.Pen()->Color(), clRed);
    EXPECT_EQ(draw.Pen()->Width(), 3);
    EXPECT_EQ(draw.Brush()->Color(), clSilver);
    EXPECT_EQ(draw.Brush()->Style(), bsCross);
    pen.SetColor(clBlue);
    EXPECT_EQ(draw.Pen()->Color(), clRed);
    draw.SetPen(nullptr);
    EXPECT_EQ(draw.Pen()->Color(), clRed);
    // Through the published property, as a definition reader sets it.
    TPen other;
    other.SetWidth(5);
    ASSERT_TRUE(draw.setProperty("Pen", QVariant::fromValue(&other)));
    EXPECT_EQ(draw.Pen()->Width(), 5);
    // The thicker pen moves the outline inside the client area.
    EXPECT_EQ(Show(draw.DesignPolygon()), "(2,2)(45,2)(45,45)(2,45)");
}

TEST(TRLDraw, LegacyKindProperty)
{
    struct Case
    {
        const char* Value;
        TRLDrawKind Kind;
        TRLDrawOptions Options;
        QStringList Data;
        double Angle;
    };
    const Case cases[] = {
        { "dkRectangle", dkRectangle, doKeepSize, {}, 10 },
        { "dkLine", dkCustom, doKeepSize, { "0 0 1 1" }, 10 },
        { "dkTriangle", dkTriangle, doKeepSize, { "0 87", "50 0", "100 87" }, 10 },
        { "dkElipse", dkElipse, doKeepSize, DrawKindData(dkElipse), 10 },
        { "dkArrow", dkArrow, doKeepSize, DrawKindData(dkArrow), 10 },
        { "dkCircle", dkElipse, doKeepAspectRatio, DrawKindData(dkElipse), 10 },
        { "dkHorzLine", dkLine, doKeepSize, { "0 0", "1 0" }, 10 },
        { "dkVertLine", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, { "0 0", "1 0" }, 100 },
        { "dkReverseLine", dkCustom, doKeepSize, { "1 0 0 1" }, 10 },
        { "DKREVERSELINE", dkCustom, doKeepSize, { "1 0 0 1" }, 10 },
    };
    for (const Case& c : cases) {
        TRLDraw draw;
        draw.SetAngle(10);
        EXPECT_TRUE(draw.ReadLegacyProperty("Kind", c.Value)) << c.Value;
        EXPECT_EQ(draw.DrawKind(), c.Kind) << c.Value;
        EXPECT_EQ(draw.Options(), c.Options) << c.Value;
        EXPECT_EQ(draw.DrawData(), c.Data) << c.Value;
        EXPECT_EQ(draw.Angle(), c.Angle) << c.Value;
    }
}

TEST(TRLDraw, LegacyKindOddValuesAndNames)
{
    TRLDraw draw;
    draw.SetDrawKind(dkArrow);
    draw.SetOptions(doKeepVisible);
    // An unknown value is read and changes nothing.
    EXPECT_TRUE(draw.ReadLegacyProperty("kind", "dkStar"));
    EXPECT_EQ(draw.DrawKind(), dkArrow);
    EXPECT_EQ(draw.Options(), TRLDrawOptions(doKeepVisible));
    // Another property is not this hook's business.
    EXPECT_FALSE(draw.ReadLegacyProperty("Shape", "dkLine"));
    EXPECT_EQ(draw.DrawKind(), dkArrow);
    // A reader that knows nothing of drawings finds the hook by name.
    bool handled = false;
    ASSERT_TRUE(QMetaObject::invokeMethod(&draw, "ReadLegacyProperty", Q_RETURN_ARG(bool, handled),
        Q_ARG(QString, "Kind"), Q_ARG(QString, "dkVertLine")));
    EXPECT_TRUE(handled);
    EXPECT_EQ(draw.DrawKind(), dkLine);
    EXPECT_EQ(draw.Angle(), 90.0);
    // "Kind" is no property of its own, so it is never written back.
    EXPECT_LT(draw.metaObject()->indexOfProperty("Kind"), 0);
}

TEST(TRLDraw, RecordsThePolygonWithPenAndBrush)
{
    DrawOnBand fixture;
    fixture.Draw->SetBounds(10, 20, 48, 48);
    fixture.Draw->Pen()->SetColor(clRed);
    fixture.Draw->Brush()->SetColor(clSilver);
    fixture.Draw->Brush()->SetStyle(bsDiagCross);
    const auto objects = fixture.Record();
    ASSERT_EQ(objects.size(), 1u) << "transparent and without borders: the polygon alone";
    ASSERT_EQ(objects[0]->Kind(), okPolygon);
    const auto* polygon = static_cast<TRLPolygonObject*>(objects[0]);
    EXPECT_EQ(Show(polygon->Points), "(10,20)(57,20)(57,67)(10,67)");
    TRLMetaPen pen;
    pen.FromPen(*fixture.Draw->Pen());
    EXPECT_EQ(polygon->Pen, pen);
    EXPECT_EQ(polygon->Pen.Color, ToMetaColor(clRed));
    EXPECT_EQ(polygon->Pen.Width, 1);
    EXPECT_EQ(polygon->Brush.Color, ToMetaColor(clSilver));
    EXPECT_EQ(polygon->Brush.Style, ToMetaBrushStyle(bsDiagCross));
}

TEST(TRLDraw, OpaqueDrawingFillsFirstInTheSameGroup)
{
    DrawOnBand fixture;
    fixture.Draw->SetBounds(5, 5, 100, 30);
    fixture.Draw->SetColor(clYellow);
    ASSERT_FALSE(fixture.Draw->Transparent());
    const auto objects = fixture.Record();
    ASSERT_EQ(objects.size(), 2u);
    ASSERT_EQ(objects[0]->Kind(), okFillRect);
    EXPECT_EQ(objects[0]->BoundsRect, TRect(5, 5, 105, 35));
    EXPECT_EQ(static_cast<TRLFillRectObject*>(objects[0])->Brush.Color, ToMetaColor(clYellow));
    ASSERT_EQ(objects[1]->Kind(), okPolygon);
    EXPECT_EQ(objects[0]->GroupId, objects[1]->GroupId);
    // The shape keeps its own brush, not the fill's.
    EXPECT_EQ(static_cast<TRLPolygonObject*>(objects[1])->Brush.Color, ToMetaColor(clWhite));
    // The next recording is another group (the first objects go with the cleared page).
    const int firstGroup = objects[1]->GroupId;
    const auto again = fixture.Record();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_GT(again[1]->GroupId, firstGroup);
}

TEST(TRLDraw, BordersNarrowTheShape)
{
    DrawOnBand fixture;
    fixture.Draw->SetBounds(0, 0, 48, 48);
    fixture.Draw->Borders()->SetSides(sdAll);
    fixture.Draw->Borders()->SetWidth(2);
    fixture.Draw->Borders()->SetColor(clGreen);
    const auto objects = fixture.Record();
    ASSERT_EQ(objects.size(), 5u);
    ASSERT_EQ(objects.back()->Kind(), okPolygon);
    const auto* polygon = static_cast<TRLPolygonObject*>(objects.back());
    EXPECT_EQ(Show(polygon->Points), "(2,2)(45,2)(45,45)(2,45)");
    // The frame's pen and brush do not leak into the shape.
    EXPECT_EQ(polygon->Pen.Color, ToMetaColor(clBlack));
    EXPECT_EQ(polygon->Brush.Color, ToMetaColor(clWhite));
    // Everything before the polygon is the frame, in the polygon's group.
    for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
        EXPECT_EQ(objects[i]->Kind(), okRectangle);
        EXPECT_EQ(objects[i]->GroupId, objects.back()->GroupId);
    }
}

TEST(TRLDraw, ShapesInTheBand)
{
    struct Case
    {
        const char* Name;
        TRLDrawKind Kind;
        TRLDrawOptions Options;
        double Angle;
        QRect Bounds;
        std::string Expected; // bounds of the recorded points
    };
    const Case cases[] = {
        { "defaults fill the client area less one pixel", dkRectangle, {}, 0, QRect(0, 0, 120, 20),
            "(0,0,119,19)" },
        { "circle of diameter 49 centred horizontally", dkElipse, doKeepAspectRatio, 0, QRect(0, 0, 100, 50),
            "(25,0,74,49)" },
        { "vertical line through the middle", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, 90,
            QRect(0, 0, 100, 50), "(49,0,49,49)" },
        { "offset in the band", dkElipse, doKeepAspectRatio, 0, QRect(40, 10, 100, 50), "(65,10,114,59)" },
        { "stretched triangle", dkTriangle, {}, 0, QRect(0, 0, 61, 31), "(0,0,60,30)" },
    };
    for (const Case& c : cases) {
        DrawOnBand fixture;
        fixture.Draw->SetBoundsRect(c.Bounds);
        fixture.Draw->SetDrawKind(c.Kind);
        fixture.Draw->SetOptions(c.Options);
        fixture.Draw->SetAngle(c.Angle);
        TRLPolygonObject* polygon = fixture.RecordedPolygon();
        ASSERT_NE(polygon, nullptr) << c.Name;
        const TRect b = PointsBounds(polygon->Points);
        EXPECT_EQ("(" + std::to_string(b.Left) + "," + std::to_string(b.Top) + "," + std::to_string(b.Right)
                + "," + std::to_string(b.Bottom) + ")",
            c.Expected)
            << c.Name;
        // The page shows what the screen shows, moved to the control's place.
        TRLDrawPoints design = fixture.Draw->DesignPolygon();
        for (TPoint& p : design)
            p += QPoint(c.Bounds.x(), c.Bounds.y());
        EXPECT_EQ(Show(polygon->Points), Show(design)) << c.Name;
    }
}

TEST(TRLDraw, CustomWithoutPointsRecordsAnEmptyPolygon)
{
    DrawOnBand fixture;
    fixture.Draw->SetDrawData({ "12" });
    TRLPolygonObject* polygon = fixture.RecordedPolygon();
    ASSERT_NE(polygon, nullptr);
    EXPECT_TRUE(polygon->Points.isEmpty());
}

TEST(TRLDraw, PrintingOutsideASiteIsRefused)
{
    RLSelectLanguage(0x16);
    TComponent owner;
    auto* draw = new TRLDraw(&owner);
    draw->SetName("Desenho1");
    try {
        draw->PrintControl();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message().toStdString(), "Não encontrado: Desenho1.ParentSurface");
    }
}

TEST(TRLDraw, BeforePrintDecides)
{
    DrawOnBand fixture;
    int calls = 0;
    fixture.Draw->BeforePrint = [&](TRLCustomControl* sender, bool& printIt) {
        EXPECT_EQ(sender, fixture.Draw);
        ++calls;
        printIt = false;
    };
    EXPECT_FALSE(fixture.Draw->AskToPrint());
    EXPECT_EQ(calls, 1);
    fixture.Draw->BeforePrint = nullptr;
    EXPECT_TRUE(fixture.Draw->AskToPrint());
    fixture.Draw->SetVisible(false);
    EXPECT_FALSE(fixture.Draw->AskToPrint());
}
