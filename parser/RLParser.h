#pragma once
// The report's expression language: numbers, strings, identifiers (component paths and published
// properties included), calls, arithmetic, comparison, logic, assignment and statement blocks.
//
// TRLExpressionParser is a component; its owner is the root of component paths. It owns its value
// list (the variables that assignments create, which live as long as the parser) and its function
// list. Evaluate() builds a parse tree from a text, evaluates it and frees it; the tree of the
// Expression property is cached until the text changes.
//
// Every input ends in a value or an exception: scanning, tree building and resolution errors are
// EAbort carrying the message (the report shows it itself); evaluation errors of the platform's
// Exception kind go to OnException when assigned. Beyond the language's own messages, a text can
// fail with "Unterminated string at N!" (a quote that never closes), "Operand expected at N!" (an
// operator without its operands, as in "1 +") and "Expression too deeply nested at N!" (more than
// MaxNesting brackets or blocks, or a tree deeper than MaxTreeDepth), so that no text, however
// malformed, exhausts the stack or reaches evaluation half-built. Numbers beyond the range of a
// double are a number format error.
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/Variants.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class TRLExpressionParser;

// The kinds of scanner token, with the numbers that token hooks see and may set.
enum TRLParserTokenKind : int {
    ptkEnd = 0,
    ptkChar = 1, // any other single character, and a lone ":"
    ptkIdentifier = 2,
    ptkNumber = 3,
    ptkString = 4,
    ptkOperator = 5,
    ptkOpenBracket = 6,
    ptkCloseBracket = 7,
    ptkComma = 8,
    ptkOpenBlock = 9,
    ptkSemicolon = 10,
    ptkCloseBlock = 11,
};

using TRLParserOnIdentifierEvent = std::function<void(
    TRLExpressionParser* Sender, const QString& Identifier, const QVariant& Params, QVariant& Result)>;
using TRLParserOnTokenEvent
    = std::function<void(TRLExpressionParser* Sender, QString& Token, TRLParserTokenKind& Kind)>;
// The handler may inspect or change E; whatever it leaves in Result is the evaluation's value. To
// let the failure through after all, it rethrows.
using TRLParserOnException = std::function<void(TRLExpressionParser* Sender, Exception& E, QVariant& Result)>;

// What a report installs into its parser while they are linked, and clears when unlinked. Each hook
// is optional; the receiver is whatever the function captures. Where each is consulted:
// - TokenHook: for every word-like token (kinds 1 to 5), after the keywords are translated and
//   before OnToken.
// - FindIdentifier: while resolving an identifier, after OnIdentifier, the value list, the built-ins
//   and the function list, and before component paths and OnUnknown. Returns true with a value
//   when it knows the name; an empty value counts as not found.
// - FindChild: first, for every step of a component path (reading and assigning), before the owned
//   components and object properties of Parent.
// - GetProperty: for the last step of a component path that names no object, before the published
//   property is read. Returns true when it gave the value.
// - SetProperty: in an assignment with poScanComponents, after the published property declined the
//   value and before the value goes to the value list. Returns true when it took the value.
struct TRLParserHooks
{
    std::function<bool(const QString& Name, QVariant& Result)> FindIdentifier;
    std::function<void(QString& Token, TRLParserTokenKind& Kind)> TokenHook;
    std::function<QObject*(QObject* Parent, const QString& Name)> FindChild;
    std::function<bool(QObject* Object, const QString& Property, const QVariant& Value)> SetProperty;
    std::function<bool(QObject* Object, const QString& Property, QVariant& Result)> GetProperty;
};

// A variable of the parser. Creating one adds it to its parser's value list; destroying it removes it.
// The list owns its values.
class TRLParserValue : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(QVariant Value READ Value WRITE SetValue)
public:
    explicit TRLParserValue(TRLExpressionParser* AParser, const QString& AName = QString());
    ~TRLParserValue() override;

    TRLExpressionParser* Parser() const { return FParser; }
    QString Name() const { return FName; }
    void SetName(const QString& name) { FName = name; }
    QVariant Value() const { return FValue; }
    void SetValue(const QVariant& value) { FValue = value; }

private:
    TRLExpressionParser* FParser;
    QString FName;
    QVariant FValue;
};

class TRLParserValueList
{
public:
    TRLParserValueList() = default;
    TRLParserValueList(const TRLParserValueList&) = delete;
    TRLParserValueList& operator=(const TRLParserValueList&) = delete;
    ~TRLParserValueList() { Clear(); }

    int Count() const { return int(FItems.size()); }
    TRLParserValue* Items(int index) const { return FItems.at(index); }
    // Names compare without regard to case; nullptr when absent.
    TRLParserValue* Find(const QString& name) const;
    void Clear();

private:
    friend class TRLParserValue;
    void Add(TRLParserValue* value);
    void Remove(TRLParserValue* value);
    QList<TRLParserValue*> FItems;
};

// Functions a program registers for its formulas. Consulted after the built-ins. Params is the
// argument array (empty when the call has no arguments); an empty result means "not mine".
struct TRLParserFunction
{
    QString Name;
    std::function<QVariant(TRLExpressionParser* Sender, const QVariant& Params)> Call;
};

class TRLParserFunctionList
{
public:
    int Count() const { return int(FItems.size()); }
    const TRLParserFunction& Items(int index) const { return FItems.at(index); }
    // Replaces a function of the same name (case ignored).
    void Add(const QString& name, std::function<QVariant(TRLExpressionParser*, const QVariant&)> call);
    const TRLParserFunction* Find(const QString& name) const;
    void Clear() { FItems.clear(); }

private:
    QList<TRLParserFunction> FItems;
};

// One node of a parse tree. A node owns its children; freeing it frees its subtree (without
// recursion, so a degenerate tree cannot exhaust the stack) and detaches it from its parent.
class TRLParserNode
{
public:
    enum : quint8 {
        nkNone = 0, // a "!" in binary position: evaluates to empty
        nkIdentifier = 1,
        nkNumber = 2,
        nkString = 3,
        nkAdd = 4,
        nkSubtract = 5,
        nkMultiply = 6,
        nkDivide = 7,
        nkPower = 8,
        nkRoot = 9,
        nkPlus = 10,
        nkNegate = 11,
        nkNot = 12,
        nkGreater = 13,
        nkLess = 14,
        nkEqual = 15,
        nkDifferent = 16,
        nkGreaterOrEqual = 17,
        nkLessOrEqual = 18,
        nkOr = 19,
        nkAnd = 20,
        nkAssign = 21,
        nkBlock = 22,
    };
    static constexpr quint8 OperandPriority = 255;

    TRLParserNode(TRLExpressionParser* AParser, quint8 AKind, quint8 APriority, const QVariant& AValue = {});
    TRLParserNode(const TRLParserNode&) = delete;
    TRLParserNode& operator=(const TRLParserNode&) = delete;
    ~TRLParserNode();

    TRLExpressionParser* Parser() const { return FParser; }
    TRLParserNode* Parent() const { return FParent; }
    int ChildCount() const { return int(FChildren.size()); }
    TRLParserNode* Child(int index) const { return FChildren.at(size_t(index)); }
    // Takes ownership; the child leaves its former parent.
    void AddChild(TRLParserNode* child);
    // Puts replacement where child was; child is detached (not freed) and belongs to the caller.
    void ReplaceChild(TRLParserNode* child, TRLParserNode* replacement);
    void RemoveChild(TRLParserNode* child);
    // Operators are kinds 0 and 4 to 21.
    bool IsOperator() const { return Kind == nkNone || (Kind >= nkAdd && Kind <= nkAssign); }

    quint8 Kind;
    quint8 Priority;
    bool Closed = false;
    QVariant Value; // the identifier's name, the number or the string

private:
    TRLExpressionParser* FParser;
    TRLParserNode* FParent = nullptr;
    std::vector<TRLParserNode*> FChildren;
};

class TRLExpressionParser : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString Expression READ Expression WRITE SetExpression)
    Q_PROPERTY(TRLParserOptions Options READ Options WRITE SetOptions)
public:
    enum TRLParserOption { poScanComponents = 0x1 };
    Q_DECLARE_FLAGS(TRLParserOptions, TRLParserOption)
    Q_FLAG(TRLParserOptions)

    // Brackets and blocks nest at most this deep; parse trees are at most MaxTreeDepth levels.
    static constexpr int MaxNesting = 256;
    static constexpr int MaxTreeDepth = 512;

    Q_INVOKABLE explicit TRLExpressionParser(TComponent* AOwner = nullptr);
    ~TRLExpressionParser() override;

    QString Expression() const { return FExpression; }
    void SetExpression(const QString& value);
    TRLParserOptions Options() const { return FOptions; }
    void SetOptions(TRLParserOptions value) { FOptions = value; }

    // Parses text, evaluates it and frees the tree. Empty text, or text that yields no tree, gives
    // an empty value.
    QVariant Evaluate(const QString& text);
    // Evaluates Expression, building its tree on first use and keeping it until Expression changes.
    QVariant Execute();

    // The tree of text, or nullptr when the text holds no expression. Throws EAbort on bad text.
    std::unique_ptr<TRLParserNode> Parse(const QString& text);
    // Evaluates a tree built by Parse, handing failures to OnException.
    QVariant EvaluateTree(TRLParserNode* root);

    TRLParserValueList& Values() { return FValues; }
    const TRLParserValueList& Values() const { return FValues; }
    TRLParserFunctionList& Functions() { return FFunctions; }

    void SetHooks(const TRLParserHooks& hooks) { FHooks = hooks; }
    void ClearHooks() { FHooks = TRLParserHooks(); }
    const TRLParserHooks& Hooks() const { return FHooks; }

    TRLParserOnIdentifierEvent OnIdentifier;
    TRLParserOnIdentifierEvent OnUnknown;
    TRLParserOnTokenEvent OnToken;
    TRLParserOnException OnException;

private:
    friend class TRLParserBuilder;

    QVariant EvaluateNode(const TRLParserNode* node);
    QVariant Operand(const TRLParserNode* node, int index);
    QVariant Resolve(const QString& name, const QVariant& params);
    QVariant BuiltIn(const QString& name, const QVariant& params) const;
    void Assign(const QString& name, const QVariant& value);
    // Component paths: the object a step names, the value a whole path reads, and writing one.
    QObject* FindObject(QObject* parent, const QString& part) const;
    QVariant ReadPath(const QString& name) const;
    QVariant ReadProperty(QObject* object, const QString& property) const;
    bool WriteProperty(QObject* object, const QString& property, const QVariant& value) const;
    // Keyword translation, then the report's token hook, then OnToken.
    void FilterToken(QString& token, TRLParserTokenKind& kind);

    QString FExpression;
    TRLParserOptions FOptions = poScanComponents;
    TRLParserValueList FValues;
    TRLParserFunctionList FFunctions;
    TRLParserHooks FHooks;
    // Shared so that an evaluation keeps its tree even when a handler changes Expression meanwhile.
    std::shared_ptr<TRLParserNode> FExpressionTree;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TRLExpressionParser::TRLParserOptions)
