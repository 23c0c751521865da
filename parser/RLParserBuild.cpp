// Scanning and tree building. The builder reads one token at a time and grows the tree with the
// priority-climbing rule that the report formulas were written against: operators of equal
// priority group to the right, and "+" binds less than "-", "*" less than "/".
#include "parser/RLParser.h"

#include <charconv>
#include <string>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}
bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
bool IsIdentifierStart(QChar c)
{
    return c == u'_' || c.isLetter();
}
bool IsIdentifierPart(QChar c)
{
    return c == u'_' || c == u'.' || c.isLetter() || IsDigit(c);
}
bool IsOperatorChar(QChar c)
{
    return QStringView(u"!#&*+-/<=>\\^|").contains(c);
}

struct TOperatorInfo
{
    quint8 Kind;
    quint8 Priority;
};

// The binary meaning of an operator text; false for texts that are no operator (a token hook may
// hand over anything).
bool BinaryOperator(const QString& token, TOperatorInfo& info)
{
    static const struct
    {
        const char16_t* Text;
        TOperatorInfo Info;
    } table[] = {
        { u"+", { TRLParserNode::nkAdd, 9 } },
        { u"-", { TRLParserNode::nkSubtract, 10 } },
        { u"*", { TRLParserNode::nkMultiply, 11 } },
        { u"/", { TRLParserNode::nkDivide, 12 } },
        { u"^", { TRLParserNode::nkPower, 13 } },
        { u"\\", { TRLParserNode::nkRoot, 14 } },
        { u"!", { TRLParserNode::nkNone, 17 } },
        { u">", { TRLParserNode::nkGreater, 3 } },
        { u"<", { TRLParserNode::nkLess, 4 } },
        { u"=", { TRLParserNode::nkEqual, 1 } },
        { u"#", { TRLParserNode::nkDifferent, 2 } },
        { u"<>", { TRLParserNode::nkDifferent, 2 } },
        { u">=", { TRLParserNode::nkGreaterOrEqual, 5 } },
        { u"<=", { TRLParserNode::nkLessOrEqual, 6 } },
        { u"|", { TRLParserNode::nkOr, 7 } },
        { u"&", { TRLParserNode::nkAnd, 8 } },
        { u":=", { TRLParserNode::nkAssign, 0 } },
    };
    for (const auto& entry : table)
        if (token == QStringView(entry.Text)) {
            info = entry.Info;
            return true;
        }
    return false;
}

// Number texts are ASCII digits, points, exponent letters and signs; anything else, an incomplete
// exponent or a value beyond the double range is a format error.
bool TextToNumber(const QString& token, double& value)
{
    std::string ascii;
    ascii.reserve(size_t(token.size()));
    for (const QChar c : token) {
        if (!(IsDigit(c) || c == u'.' || c == u'e' || c == u'E' || c == u'+' || c == u'-'))
            return false;
        ascii.push_back(char(c.unicode()));
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    if (first != last && *first == '+')
        ++first;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == last;
}

} // namespace

class TRLParserBuilder
{
public:
    TRLParserBuilder(TRLExpressionParser* parser, const QString& text)
        : FParser(parser)
        , FText(text)
    { }

    std::unique_ptr<TRLParserNode> Build()
    {
        std::unique_ptr<TRLParserNode> root = BuildExpression(0);
        if (root)
            CheckTree(root.get());
        return root;
    }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw EAbort(QStringLiteral("%1 at %2!").arg(QLatin1String(what)).arg(FPos));
    }

    bool AtEnd() const { return FPos >= FText.size(); }
    QChar Peek() const { return FText.at(FPos); }

    void NextToken()
    {
        while (!AtEnd() && IsBlank(Peek()))
            ++FPos;
        FToken.clear();
        if (AtEnd()) {
            FKind = ptkEnd;
            return;
        }
        const QChar c = FText.at(FPos++);
        FToken = c;
        if (IsIdentifierStart(c)) {
            while (!AtEnd() && IsIdentifierPart(Peek()))
                FToken += FText.at(FPos++);
            FKind = ptkIdentifier;
        } else if (IsDigit(c)) {
            ScanNumber();
            FKind = ptkNumber;
        } else if (c == u'"' || c == u'\'') {
            ScanString(c);
            FKind = ptkString;
        } else if (IsOperatorChar(c)) {
            if (!AtEnd()
                && ((c == u'<' && (Peek() == u'=' || Peek() == u'>')) || (c == u'>' && Peek() == u'=')))
                FToken += FText.at(FPos++);
            FKind = ptkOperator;
        } else if (c == u':') {
            if (!AtEnd() && Peek() == u'=') {
                FToken += FText.at(FPos++);
                FKind = ptkOperator;
            } else {
                FKind = ptkChar;
            }
        } else if (c == u'(') {
            FKind = ptkOpenBracket;
        } else if (c == u')') {
            FKind = ptkCloseBracket;
        } else if (c == u',') {
            FKind = ptkComma;
        } else if (c == u'{') {
            FKind = ptkOpenBlock;
        } else if (c == u';') {
            FKind = ptkSemicolon;
        } else if (c == u'}') {
            FKind = ptkCloseBlock;
        } else {
            FKind = ptkChar;
        }
        if (FKind >= ptkChar && FKind <= ptkOperator)
            FParser->FilterToken(FToken, FKind);
    }

    void ScanNumber()
    {
        bool point = false, exponent = false, sign = false;
        while (!AtEnd()) {
            const QChar c = Peek();
            if (IsDigit(c)) {
                FToken += c;
                ++FPos;
            } else if (c == u'.') {
                ++FPos;
                if (point || exponent)
                    Fail("Incorrect number format");
                point = true;
                FToken += c;
            } else if (c == u'e' || c == u'E') {
                ++FPos;
                if (exponent)
                    Fail("Incorrect number format");
                exponent = true;
                FToken += c;
            } else if (c == u'+' || c == u'-') {
                // Before an exponent the sign is the next operator; after one, only a single sign
                // directly after the letter belongs to the number.
                if (!exponent)
                    break;
                if (sign) {
                    ++FPos;
                    Fail("Incorrect number format");
                }
                const QChar previous = FToken.back();
                if (previous != u'e' && previous != u'E')
                    break;
                ++FPos;
                sign = true;
                FToken += c;
            } else {
                break;
            }
        }
    }

    // A doubled quote stands for one quote, even with blanks between the two pieces. A string that
    // never closes is an error rather than a silent end of text.
    void ScanString(QChar quote)
    {
        FToken.clear();
        for (;;) {
            while (!AtEnd() && Peek() != quote)
                FToken += FText.at(FPos++);
            if (AtEnd())
                Fail("Unterminated string");
            ++FPos; // the closing quote
            qsizetype after = FPos;
            while (after < FText.size() && IsBlank(FText.at(after)))
                ++after;
            if (after < FText.size() && FText.at(after) == quote) {
                FPos = after + 1;
                FToken += quote;
                continue;
            }
            FPos = after;
            return;
        }
    }

    std::unique_ptr<TRLParserNode> NewNode(quint8 kind, quint8 priority, const QVariant& value = {}) const
    {
        return std::make_unique<TRLParserNode>(FParser, kind, priority, value);
    }

    // One sub-expression; ends at end of text, ")", ",", ";" or "}", which stays the current token.
    std::unique_ptr<TRLParserNode> BuildExpression(int depth)
    {
        if (depth > TRLExpressionParser::MaxNesting)
            Fail("Expression too deeply nested");
        std::unique_ptr<TRLParserNode> root;
        TRLParserNode* current = nullptr;

        // An operand or group goes under the current node, or is the root when there is none yet.
        const auto attach = [&](std::unique_ptr<TRLParserNode> node) {
            TRLParserNode* raw = node.get();
            if (current)
                current->AddChild(node.release());
            else if (!root)
                root = std::move(node);
            else
                root->AddChild(node.release());
            return raw;
        };

        for (;;) {
            NextToken();
            switch (FKind) {
            case ptkEnd:
            case ptkCloseBracket:
            case ptkComma:
            case ptkSemicolon:
            case ptkCloseBlock:
                if (root) {
                    root->Priority = TRLParserNode::OperandPriority;
                    root->Closed = true;
                }
                return root;
            case ptkIdentifier:
                current
                    = attach(NewNode(TRLParserNode::nkIdentifier, TRLParserNode::OperandPriority, FToken));
                break;
            case ptkNumber: {
                double value = 0;
                if (!TextToNumber(FToken, value))
                    Fail("Incorrect number format");
                current = attach(NewNode(TRLParserNode::nkNumber, TRLParserNode::OperandPriority, value));
                break;
            }
            case ptkString:
                current = attach(NewNode(TRLParserNode::nkString, TRLParserNode::OperandPriority, FToken));
                break;
            case ptkOperator:
                AddOperator(root, current);
                break;
            case ptkOpenBracket: {
                TRLParserNode* last = nullptr;
                for (;;) {
                    std::unique_ptr<TRLParserNode> group = BuildExpression(depth + 1);
                    if (group)
                        last = attach(std::move(group));
                    if (FKind == ptkComma) {
                        if (!current || current->Kind != TRLParserNode::nkIdentifier)
                            Fail("Parameter list not suported");
                        continue;
                    }
                    if (FKind != ptkCloseBracket)
                        Fail("Brackets expected");
                    break;
                }
                if (last && !(current && current->Kind == TRLParserNode::nkIdentifier))
                    current = last;
                break;
            }
            case ptkOpenBlock: {
                TRLParserNode* block
                    = attach(NewNode(TRLParserNode::nkBlock, TRLParserNode::OperandPriority));
                current = block;
                for (;;) {
                    std::unique_ptr<TRLParserNode> statement = BuildExpression(depth + 1);
                    if (statement)
                        block->AddChild(statement.release());
                    if (FKind == ptkSemicolon)
                        continue;
                    if (FKind != ptkCloseBlock)
                        Fail("Inline expected");
                    break;
                }
                // A finished block is an operand: a sign after it is binary.
                block->Closed = true;
                break;
            }
            default:
                break; // other characters mean nothing
            }
        }
    }

    void AddOperator(std::unique_ptr<TRLParserNode>& root, TRLParserNode*& current)
    {
        TOperatorInfo info {};
        if (!BinaryOperator(FToken, info))
            return;
        const bool operandPosition = !current
            || ((current->IsOperator() || current->Kind == TRLParserNode::nkBlock) && !current->Closed);
        if (operandPosition) {
            if (FToken == u"+")
                info = { TRLParserNode::nkPlus, 15 };
            else if (FToken == u"-")
                info = { TRLParserNode::nkNegate, 16 };
            else if (FToken == u"!")
                info = { TRLParserNode::nkNot, 17 };
        }
        std::unique_ptr<TRLParserNode> node = NewNode(info.Kind, info.Priority);
        TRLParserNode* raw = node.get();
        if (!current) {
            if (root) // only after an empty group; the operator takes the whole tree
                node->AddChild(root.release());
            root = std::move(node);
            current = raw;
            return;
        }
        TRLParserNode* at = current;
        TRLParserNode* passed = nullptr;
        while (at->Priority > raw->Priority && at->Parent()) {
            passed = at;
            at = at->Parent();
        }
        if (!at->Parent() && at->Priority > raw->Priority) {
            node->AddChild(root.release());
            root = std::move(node);
        } else if (passed) {
            at->ReplaceChild(passed, node.release());
            raw->AddChild(passed);
        } else {
            current->AddChild(node.release());
        }
        current = raw;
    }

    // Bounds the depth that evaluation will recurse to, and finds operators left without their
    // operands ("1 +", "-"), so that evaluation never meets a malformed node.
    void CheckTree(const TRLParserNode* root) const
    {
        std::vector<std::pair<const TRLParserNode*, int>> pending { { root, 1 } };
        while (!pending.empty()) {
            const auto [node, depth] = pending.back();
            pending.pop_back();
            if (depth > TRLExpressionParser::MaxTreeDepth)
                Fail("Expression too deeply nested");
            int needed = 0;
            if (node->Kind == TRLParserNode::nkPlus || node->Kind == TRLParserNode::nkNegate
                || node->Kind == TRLParserNode::nkNot)
                needed = 1;
            else if (node->Kind >= TRLParserNode::nkAdd && node->Kind <= TRLParserNode::nkAssign)
                needed = 2;
            if (node->ChildCount() < needed)
                Fail("Operand expected");
            for (int i = 0; i < node->ChildCount(); ++i)
                pending.emplace_back(node->Child(i), depth + 1);
        }
    }

    TRLExpressionParser* FParser;
    const QString& FText;
    qsizetype FPos = 0;
    QString FToken;
    TRLParserTokenKind FKind = ptkEnd;
};

std::unique_ptr<TRLParserNode> TRLExpressionParser::Parse(const QString& text)
{
    return TRLParserBuilder(this, text).Build();
}

void TRLExpressionParser::FilterToken(QString& token, TRLParserTokenKind& kind)
{
    static const struct
    {
        const char* Word;
        const char16_t* Token;
        TRLParserTokenKind Kind;
    } keywords[] = {
        { "not", u"!", ptkOperator },
        { "and", u"&", ptkOperator },
        { "or", u"|", ptkOperator },
        { "div", u"/", ptkOperator },
        { "begin", u"{", ptkOpenBlock },
        { "end", u"}", ptkCloseBlock },
    };
    for (const auto& keyword : keywords)
        if (token.compare(QLatin1String(keyword.Word), Qt::CaseInsensitive) == 0) {
            token = QString::fromUtf16(keyword.Token);
            kind = keyword.Kind;
            break;
        }
    if (FHooks.TokenHook)
        FHooks.TokenHook(token, kind);
    if (OnToken)
        OnToken(this, token, kind);
}
