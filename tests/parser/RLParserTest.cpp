#include "parser/RLParser.h"

#include <QLocale>
#include <QMetaProperty>
#include <cmath>
#include <gtest/gtest.h>
#include <ostream>

// Readable failures: the type and the text of a variant.
void PrintTo(const QVariant& value, std::ostream* out)
{
    *out << (value.isValid() ? value.metaType().name() : "Empty") << "(" << value.toString().toStdString()
         << ")";
}

namespace {

// ---- evaluation of the language itself ------------------------------------------------------------

class ParserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FSaved = QLocale();
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
    void TearDown() override { QLocale::setDefault(FSaved); }

    QString ErrorOf(const QString& text)
    {
        try {
            const QVariant value = Parser.Evaluate(text);
            return QStringLiteral("no error, value ") + VarToStr(value);
        } catch (const EAbort& e) {
            return e.Message();
        } catch (const Exception& e) {
            return QStringLiteral("not a silent abort: ") + e.Message();
        }
    }

    TRLExpressionParser Parser;

private:
    QLocale FSaved;
};

struct TValueCase
{
    const char* Text;
    QVariant Expected;
};

// Type and value must both match, so that a Boolean result is not confused with a number.
void ExpectValue(TRLExpressionParser& parser, const TValueCase& c)
{
    SCOPED_TRACE(c.Text);
    QVariant actual;
    try {
        actual = parser.Evaluate(QString::fromUtf8(c.Text));
    } catch (const Exception& e) {
        ADD_FAILURE() << "threw " << e.what();
        return;
    }
    if (c.Expected.metaType().id() == QMetaType::Double && actual.metaType().id() == QMetaType::Double) {
        EXPECT_NEAR(actual.toDouble(), c.Expected.toDouble(), 1e-12);
        return;
    }
    EXPECT_EQ(actual.metaType(), c.Expected.metaType());
    EXPECT_EQ(actual, c.Expected);
}

TEST_F(ParserTest, PrioritiesAndGrouping)
{
    const TValueCase cases[] = {
        { "10 - 3 - 2", 9.0 }, // equal priorities group to the right
        { "2 ^ 3 ^ 2", 512.0 }, { "1 + 10 - 3 - 2", 10.0 }, // still to the right below a weaker operator
        { "2 * 2 ^ 3 ^ 2", 1024.0 }, { "100 / 10 / 5 * 1", 50.0 }, { "16 \\ 2", 4.0 }, { "27 \\ 3", 3.0 },
        { "1 + 2 * 3", 7.0 }, { "(1 + 2) * 3", 9.0 }, { "2 * 3 + 1", 7.0 },
        { "10 - 4 + 1", 7.0 }, // "+" binds less than "-": (10 - 4) + 1
        { "8 / 4 * 2", 4.0 }, // "*" binds less than "/": (8 / 4) * 2
        { "2 * (3 + 4) ^ 2", 98.0 }, { "((2))", 2.0 }, { "7 div 2", 3.5 },
        { "1+2", 3.0 }, // digit, sign, digit: three tokens
        { "1.5e2 + 2E-1", 150.2 }, { "1e+2", 100.0 }, { "1. + 5.e1", 51.0 }, { "0.000", 0.0 },
        { "2 * 3 @ $ + 1", 7.0 }, // characters of no meaning are skipped
    };
    for (const auto& c : cases)
        ExpectValue(Parser, c);
}

TEST_F(ParserTest, UnaryOperatorsInOperandPosition)
{
    const TValueCase cases[] = {
        { "-3 + 5", 2.0 },
        { "2 * -3", -6.0 },
        { "2 - -3", 5.0 },
        { "+4", 4.0 },
        { "- -4", 4.0 },
        { "-2 ^ 2", 4.0 }, // negation binds tighter than power
        { "-(1 + 2)", -3.0 },
        { "(1 + 2) - 1", 2.0 }, // after a group the sign is binary
        { "not true", false },
        { "!false", true },
        { "not 0", -1 }, // bitwise for numbers
        { "not (1 = 1)", false },
        { "1 - not 0", 2.0 },
    };
    for (const auto& c : cases)
        ExpectValue(Parser, c);
}

TEST_F(ParserTest, ComparisonsAndLogicGiveBooleans)
{
    const TValueCase cases[] = {
        { "3 > 2", true },
        { "3 < 2", false },
        { "2 >= 2", true },
        { "2 <= 1", false },
        { "1 = 1", true },
        { "1 + 2 = 3", true },
        { "9 = 10 - 3 - 2", true },
        { "1 <> 2", true },
        { "1 # 1", false },
        { "'abc' < 'abd'", true },
        { "'10' = 10", true },
        { "null = null", true },
        { "null = 1", false },
        { "null <> 1", true },
        { "null < 1", false },
        { "null > 1", false },
        { "(1 = 1) & (2 = 2)", true },
        { "(1 = 2) | (2 = 2)", true },
        { "true and false", false },
        { "false or true", true },
        { "TRUE AND NOT FALSE", true },
        { "6 & 3", 2 },
    };
    for (const auto& c : cases)
        ExpectValue(Parser, c);
}

TEST_F(ParserTest, StringsAndQuotes)
{
    const TValueCase cases[] = {
        { "'ab' + 'cd'", QStringLiteral("abcd") }, { "'it''s'", QStringLiteral("it's") },
        { "\"say \"\"hi\"\"\"", QStringLiteral("say \"hi\"") },
        { "'a'  'b'", QStringLiteral("a'b") }, // pieces separated by blanks join with a quote
        { "'a' + \"b\"", QStringLiteral("ab") }, { "\"it's\"", QStringLiteral("it's") }, { "''", QString() },
        { "'x' + 1", QVariant() }, // filled below: conversion error
    };
    for (const auto& c : cases) {
        if (!c.Expected.isValid())
            continue;
        ExpectValue(Parser, c);
    }
    EXPECT_THROW(Parser.Evaluate("'x' + 1"), EConvertError);
    ExpectValue(Parser, { "'5' + 1", 6.0 });
    ExpectValue(Parser, { "'1,5' * 2", 3.0 }); // the locale's decimal separator
}

TEST_F(ParserTest, BuiltIns)
{
    const TValueCase cases[] = {
        { "pi", 3.1415926535897932385 },
        { "PI * 2", 2 * 3.1415926535897932385 },
        { "true", true },
        { "False", false },
        { "minor(3, 1, 2)", 1.0 },
        { "major(3, 1, 2)", 3.0 },
        { "minor('b', 'a', 'c')", QStringLiteral("a") },
        { "major(2, '2')", 2.0 }, // the first of equal values stays
        { "minor('2', 2)", QStringLiteral("2") },
        { "major(5)", 5.0 },
        { "if(1 > 2, 'a', 'b')", QStringLiteral("b") },
        { "if(1 < 2, 'a', 'b')", QStringLiteral("a") },
        { "IF(true, 1, 2) + 1", 2.0 },
        { "if(1 < 2, 'ok', nowhere)", QStringLiteral("ok") }, // the branch not taken is never evaluated
        { "if(1 > 2, nowhere, 'ok')", QStringLiteral("ok") },
    };
    for (const auto& c : cases)
        ExpectValue(Parser, c);
    EXPECT_TRUE(VarIsNull(Parser.Evaluate("null")));
    EXPECT_TRUE(VarIsNull(Parser.Evaluate("null + 1")));
}

TEST_F(ParserTest, EmptyTextsAndStrayClosers)
{
    const TValueCase cases[] = {
        { "1 ) + 5", 1.0 }, // a stray ")" ends the expression
        { "1 , 2", 1.0 }, { "1 ; 2", 1.0 }, { "1 } 2", 1.0 },
        { "3 ! 4", QVariant() }, // a "!" in binary position is empty
    };
    for (const auto& c : cases)
        ExpectValue(Parser, c);
    for (const char* text : { "", "   \t\r\n", ")", "()", "@", ";" })
        EXPECT_FALSE(Parser.Evaluate(QString::fromLatin1(text)).isValid()) << text;
}

TEST_F(ParserTest, ErrorsCarryTheirTextAndPosition)
{
    const struct
    {
        const char* Text;
        const char* Message;
    } cases[] = {
        { "1.2.3", "Incorrect number format at 4!" },
        { "1e5e2", "Incorrect number format at 4!" },
        { "1e5.2", "Incorrect number format at 4!" },
        { "1e+-2", "Incorrect number format at 4!" },
        { "1e+2+3", "Incorrect number format at 5!" }, // a second sign after the exponent
        { "1e", "Incorrect number format at 2!" },
        { "1e999999", "Incorrect number format at 8!" },
        { "(1, 2)", "Parameter list not suported at 3!" },
        { "(1 + 2", "Brackets expected at 6!" },
        { "(1 + 2;", "Brackets expected at 7!" },
        { "if(", "Brackets expected at 3!" },
        { "{1; 2", "Inline expected at 5!" },
        { "{1)", "Inline expected at 3!" },
        { "{", "Inline expected at 1!" },
        { "'abc", "Unterminated string at 4!" },
        { "'abc' '", "Unterminated string at 7!" },
        { "1 +", "Operand expected at 3!" },
        { "-", "Operand expected at 1!" },
        { "x := := 3", "Operand expected at 9!" },
        { "foo", "Undefined identifier \"foo\"" },
        { "Foo.Bar + 1", "Undefined identifier \"Foo.Bar\"" },
        { "if(1, 2)", "Wrong number of arguments" },
        { "if(1, 2, 3, 4)", "Wrong number of arguments" },
        { "3 := 4", "Left side cannot be Assigned" },
        { "'a' := 4", "Left side cannot be Assigned" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(QString::fromLatin1(c.Text)), QString::fromUtf8(c.Message)) << c.Text;
}

TEST_F(ParserTest, NestingIsBoundedWithAClearError)
{
    const QString deep = QString(10000, u'(') + u'1' + QString(10000, u')');
    EXPECT_EQ(ErrorOf(deep), QStringLiteral("Expression too deeply nested at 257!"));
    // Exactly at the bound still works.
    const QString fits = QString(TRLExpressionParser::MaxNesting, u'(') + u'7'
        + QString(TRLExpressionParser::MaxNesting, u')');
    EXPECT_EQ(Parser.Evaluate(fits).toDouble(), 7.0);

    const QString negations = QString(100000, u'-') + u'1';
    EXPECT_EQ(ErrorOf(negations), QStringLiteral("Expression too deeply nested at 100001!"));
    QString chain = QStringLiteral("1");
    for (int i = 0; i < 20000; ++i)
        chain += QStringLiteral("-1");
    EXPECT_TRUE(ErrorOf(chain).startsWith(QStringLiteral("Expression too deeply nested at ")));
    EXPECT_TRUE(ErrorOf(QString(10000, u'{')).startsWith(QStringLiteral("Expression too deeply nested")));
    EXPECT_TRUE(
        ErrorOf(QStringLiteral("f(").repeated(10000)).startsWith(QStringLiteral("Expression too deeply")));
}

TEST_F(ParserTest, HostileInputsEndInAValueOrAnError)
{
    const QString inputs[] = {
        QStringLiteral("(((((("),
        QStringLiteral("))))))"),
        QStringLiteral("}}}};;;,,,"),
        QStringLiteral("begin begin end"),
        QStringLiteral(":="),
        QStringLiteral(":"),
        QStringLiteral("a..b"),
        QStringLiteral("."),
        QStringLiteral("_"),
        QStringLiteral("1..2"),
        QStringLiteral("x := y := z := "),
        QStringLiteral("minor()"),
        QStringLiteral("major("),
        QStringLiteral("1 / 0"),
        QStringLiteral("0 \\ 0"),
        QStringLiteral("-1 \\ 2"),
        QStringLiteral("'\xc3\xa7\xc3\xa3o' + 'ü'"),
        QString(QChar(0)) + QStringLiteral("1") + QChar(0),
        QStringLiteral("1 2 3 4"),
        QStringLiteral("f(g(h(1,,2),),)"),
        QStringLiteral("{;;;}"),
        QStringLiteral("{} + 1"),
        QStringLiteral("(1)(2)(3)"),
        QStringLiteral("if"),
        QStringLiteral("null.x"),
        QStringLiteral("9").repeated(400),
        QStringLiteral("9").repeated(400) + QStringLiteral("e-999"),
        QStringLiteral("^ * / \\"),
        QStringLiteral("not not not"),
        QString(50000, u'+') + u'2',
        QStringLiteral("1 = ").repeated(5000) + u'1',
    };
    for (const QString& text : inputs) {
        try {
            Parser.Evaluate(text);
        } catch (const Exception&) {
            // an error is as good as a value here; a crash or hang is not
        }
    }
    SUCCEED();
}

TEST_F(ParserTest, AssignmentAndBlocksKeepValuesAcrossEvaluations)
{
    ExpectValue(Parser, { "{x := 5; x * 2}", 10.0 });
    ExpectValue(Parser, { "X + 1", 6.0 }); // names ignore case
    ASSERT_EQ(Parser.Values().Count(), 1);
    EXPECT_EQ(Parser.Values().Items(0)->Name(), QStringLiteral("x"));

    ExpectValue(Parser, { "begin x := 'a'; y := x + 'b'; y end", QStringLiteral("ab") });
    EXPECT_EQ(Parser.Values().Count(), 2); // x replaced, y added
    EXPECT_EQ(Parser.Values().Find("X")->Value(), QVariant(QStringLiteral("a")));

    ExpectValue(Parser, { "a := b := 3", 3.0 }); // assignment groups to the right
    ExpectValue(Parser, { "a + b", 6.0 });
    ExpectValue(Parser, { "flag := 1 = 1", true });
    ExpectValue(Parser, { "{}", QVariant() });
    ExpectValue(Parser, { "{1; 2; 3}", 3.0 });
    ExpectValue(Parser, { "{1} + 1", 2.0 }); // a finished block is an operand
}

TEST_F(ParserTest, ValuesJoinAndLeaveTheirList)
{
    auto* value = new TRLParserValue(&Parser, QStringLiteral("Rate"));
    value->SetValue(0.17);
    EXPECT_EQ(Parser.Values().Find("rate"), value);
    ExpectValue(Parser, { "rate * 100", 17.0 });
    delete value;
    EXPECT_EQ(Parser.Values().Count(), 0);
    EXPECT_EQ(ErrorOf("rate"), QStringLiteral("Undefined identifier \"rate\""));

    // A value holding empty does not count as a definition.
    new TRLParserValue(&Parser, QStringLiteral("blank"));
    EXPECT_EQ(ErrorOf("blank"), QStringLiteral("Undefined identifier \"blank\""));
    Parser.Values().Clear();
    EXPECT_EQ(Parser.Values().Count(), 0);
}

TEST_F(ParserTest, TreeShapeFollowsTheClimbRule)
{
    using N = TRLParserNode;
    {
        const auto tree = Parser.Parse("10 - 3 - 2");
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->Kind, N::nkSubtract);
        EXPECT_TRUE(tree->Closed);
        EXPECT_EQ(tree->Priority, N::OperandPriority);
        ASSERT_EQ(tree->ChildCount(), 2);
        EXPECT_EQ(tree->Child(0)->Value.toDouble(), 10.0);
        EXPECT_EQ(tree->Child(1)->Kind, N::nkSubtract);
        EXPECT_EQ(tree->Child(1)->Parent(), tree.get());
    }
    {
        const auto tree = Parser.Parse("a - b + c");
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->Kind, N::nkAdd);
        EXPECT_EQ(tree->Child(0)->Kind, N::nkSubtract);
        EXPECT_EQ(tree->Child(1)->Value.toString(), QStringLiteral("c"));
    }
    {
        const auto tree = Parser.Parse("f(1, g(2), 'x')");
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->Kind, N::nkIdentifier);
        ASSERT_EQ(tree->ChildCount(), 3);
        EXPECT_EQ(tree->Child(1)->Kind, N::nkIdentifier);
        EXPECT_EQ(tree->Child(1)->ChildCount(), 1);
        EXPECT_EQ(tree->Child(2)->Kind, N::nkString);
    }
    EXPECT_FALSE(Parser.Parse("  "));
}

TEST_F(ParserTest, NodesFreeTheirSubtreeAndLeaveTheirParent)
{
    auto root = std::make_unique<TRLParserNode>(&Parser, TRLParserNode::nkBlock, 255);
    auto* first = new TRLParserNode(&Parser, TRLParserNode::nkNumber, 255, 1.0);
    auto* second = new TRLParserNode(&Parser, TRLParserNode::nkNumber, 255, 2.0);
    root->AddChild(first);
    root->AddChild(second);
    delete first;
    ASSERT_EQ(root->ChildCount(), 1);
    EXPECT_EQ(root->Child(0), second);

    // A degenerate chain far deeper than any stack frame budget.
    TRLParserNode* tip = second;
    for (int i = 0; i < 200000; ++i) {
        auto* next = new TRLParserNode(&Parser, TRLParserNode::nkNegate, 16);
        tip->AddChild(next);
        tip = next;
    }
    root.reset();
    SUCCEED();
}

// ---- events ---------------------------------------------------------------------------------------

TEST_F(ParserTest, OnIdentifierComesFirstAndSeesTheArguments)
{
    QVariant seenParams;
    Parser.OnIdentifier
        = [&](TRLExpressionParser* sender, const QString& name, const QVariant& params, QVariant& result) {
              EXPECT_EQ(sender, &Parser);
              if (name.compare("pi", Qt::CaseInsensitive) == 0)
                  result = 3;
              if (name == "sum") {
                  seenParams = params;
                  double total = 0;
                  for (const QVariant& v : params.toList())
                      total += v.toDouble();
                  result = total;
              }
          };
    ExpectValue(Parser, { "pi", 3 });
    ExpectValue(Parser, { "sum(1, 2, 3 * 2)", 9.0 });
    EXPECT_EQ(seenParams, QVariant(QVariantList { 1.0, 2.0, 6.0 }));
    ExpectValue(Parser, { "true", true }); // what the handler leaves empty goes on
}

TEST_F(ParserTest, OnUnknownIsTheLastChance)
{
    int calls = 0;
    Parser.OnUnknown
        = [&](TRLExpressionParser*, const QString& name, const QVariant& params, QVariant& result) {
              ++calls;
              if (name == "later")
                  result = VarNull(); // null counts as a result
              if (name == "twice")
                  result = VarMul(params.toList().value(0), 2);
          };
    EXPECT_TRUE(VarIsNull(Parser.Evaluate("later")));
    ExpectValue(Parser, { "twice(21)", 42.0 });
    EXPECT_EQ(calls, 2);
    ExpectValue(Parser, { "{v := 1; v}", 1.0 });
    ExpectValue(Parser, { "pi > 3", true });
    EXPECT_EQ(calls, 2); // not asked for names something else knew
    EXPECT_EQ(ErrorOf("never"), QStringLiteral("Undefined identifier \"never\""));
    EXPECT_EQ(calls, 3);
}

TEST_F(ParserTest, OnTokenSeesWordsAfterKeywordsAndMayChangeThem)
{
    QStringList seen;
    Parser.OnToken = [&](TRLExpressionParser* sender, QString& token, TRLParserTokenKind& kind) {
        EXPECT_EQ(sender, &Parser);
        seen.append(QString::number(int(kind)) + u':' + token);
        if (token == "dois") {
            token = "2";
            kind = ptkNumber;
        }
        if (token == "stop")
            kind = ptkEnd;
    };
    ExpectValue(Parser, { "dois * (3 and 1)", 2.0 });
    EXPECT_EQ(seen, QStringList({ "2:dois", "5:*", "3:3", "5:&", "3:1" })); // brackets are not shown
    seen.clear();
    ExpectValue(Parser, { "1 stop + 2", 1.0 });
    seen.clear();
    Parser.Evaluate("'s' : begin 1 end");
    // Keywords are translated before the handler sees them.
    EXPECT_EQ(seen, QStringList({ "4:s", "1::", "9:{", "3:1", "11:}" }));
}

TEST_F(ParserTest, OnExceptionHandlesEvaluationFailuresOnly)
{
    EXPECT_THROW(Parser.Evaluate("'abc' - 1"), EConvertError);

    QString message;
    Parser.OnException = [&](TRLExpressionParser* sender, Exception& e, QVariant& result) {
        EXPECT_EQ(sender, &Parser);
        message = e.Message();
        result = QStringLiteral("#erro");
    };
    ExpectValue(Parser, { "'abc' - 1", QStringLiteral("#erro") });
    EXPECT_EQ(message, QStringLiteral("Could not convert variant of type (String) into type (Double)"));
    ExpectValue(Parser, { "1 + nowhere", QStringLiteral("#erro") });
    EXPECT_EQ(message, QStringLiteral("Undefined identifier \"nowhere\""));
    ExpectValue(Parser, { "1 / 0", QStringLiteral("#erro") });

    message.clear();
    EXPECT_THROW(Parser.Evaluate("1.2.3"), EAbort); // parsing is not evaluation
    EXPECT_TRUE(message.isEmpty());

    Parser.OnException = [](TRLExpressionParser*, Exception&, QVariant&) { throw; };
    EXPECT_THROW(Parser.Evaluate("'abc' - 1"), EConvertError);
}

TEST_F(ParserTest, FunctionListComesAfterTheBuiltIns)
{
    EXPECT_EQ(Parser.Functions().Count(), 0);
    Parser.Functions().Add("Dobro",
        [](TRLExpressionParser*, const QVariant& params) { return VarMul(params.toList().value(0), 2); });
    Parser.Functions().Add("pi", [](TRLExpressionParser*, const QVariant&) { return QVariant(3); });
    Parser.Functions().Add("DOBRO",
        [](TRLExpressionParser*, const QVariant& params) { return VarMul(params.toList().value(0), 2.5); });
    EXPECT_EQ(Parser.Functions().Count(), 2);
    ExpectValue(Parser, { "dobro(4)", 10.0 });
    ExpectValue(Parser, { "pi", 3.1415926535897932385 });
}

TEST_F(ParserTest, ExpressionTreeIsCachedUntilTheTextChanges)
{
    int tokens = 0;
    Parser.OnToken = [&](TRLExpressionParser*, QString&, TRLParserTokenKind&) { ++tokens; };
    Parser.SetExpression("1 + 1");
    EXPECT_EQ(Parser.Execute(), QVariant(2.0));
    const int afterFirst = tokens;
    EXPECT_EQ(Parser.Execute(), QVariant(2.0));
    EXPECT_EQ(tokens, afterFirst);
    Parser.SetExpression("1 + 1");
    EXPECT_EQ(Parser.Execute(), QVariant(2.0));
    EXPECT_EQ(tokens, afterFirst);
    Parser.SetExpression("2 * 5");
    EXPECT_EQ(Parser.Execute(), QVariant(10.0));
    EXPECT_GT(tokens, afterFirst);

    // A handler that changes the text while the cached tree runs does not pull it away.
    Parser.SetExpression("probe + 1");
    Parser.OnIdentifier
        = [&](TRLExpressionParser* sender, const QString&, const QVariant&, QVariant& result) {
              sender->SetExpression("99");
              result = 1;
          };
    EXPECT_EQ(Parser.Execute(), QVariant(2.0));
    EXPECT_EQ(Parser.Execute(), QVariant(99.0));
}

TEST_F(ParserTest, PublishedDefaults)
{
    EXPECT_EQ(Parser.Options(), TRLExpressionParser::TRLParserOptions(TRLExpressionParser::poScanComponents));
    const QMetaObject* meta = Parser.metaObject();
    const QMetaProperty options = meta->property(meta->indexOfProperty("Options"));
    ASSERT_TRUE(options.isValid());
    EXPECT_TRUE(options.isFlagType());
    EXPECT_FALSE(Parser.IsPropertyStored(options));
    Parser.SetOptions({});
    EXPECT_TRUE(Parser.IsPropertyStored(options));
    EXPECT_TRUE(meta->indexOfProperty("Expression") >= 0);
}

} // namespace
