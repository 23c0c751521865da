// Values, functions, parse-tree nodes and the evaluation of trees.
#include "parser/RLParser.h"

#include <cmath>

// ---- values ---------------------------------------------------------------------------------------

TRLParserValue::TRLParserValue(TRLExpressionParser* AParser, const QString& AName)
    : TPersistent(nullptr)
    , FParser(AParser)
    , FName(AName)
{
    if (FParser)
        FParser->Values().Add(this);
}

TRLParserValue::~TRLParserValue()
{
    if (FParser)
        FParser->Values().Remove(this);
}

TRLParserValue* TRLParserValueList::Find(const QString& name) const
{
    for (TRLParserValue* value : FItems)
        if (value->Name().compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return nullptr;
}

void TRLParserValueList::Clear()
{
    // Each value removes itself from the list as it goes.
    while (!FItems.isEmpty())
        delete FItems.last();
}

void TRLParserValueList::Add(TRLParserValue* value)
{
    if (!FItems.contains(value))
        FItems.append(value);
}

void TRLParserValueList::Remove(TRLParserValue* value)
{
    FItems.removeAll(value);
}

// ---- functions ------------------------------------------------------------------------------------

void TRLParserFunctionList::Add(
    const QString& name, std::function<QVariant(TRLExpressionParser*, const QVariant&)> call)
{
    for (TRLParserFunction& function : FItems)
        if (function.Name.compare(name, Qt::CaseInsensitive) == 0) {
            function.Call = std::move(call);
            return;
        }
    FItems.append(TRLParserFunction { name, std::move(call) });
}

const TRLParserFunction* TRLParserFunctionList::Find(const QString& name) const
{
    for (const TRLParserFunction& function : FItems)
        if (function.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &function;
    return nullptr;
}

// ---- nodes ----------------------------------------------------------------------------------------

TRLParserNode::TRLParserNode(
    TRLExpressionParser* AParser, quint8 AKind, quint8 APriority, const QVariant& AValue)
    : Kind(AKind)
    , Priority(APriority)
    , Value(AValue)
    , FParser(AParser)
{ }

TRLParserNode::~TRLParserNode()
{
    if (FParent)
        FParent->RemoveChild(this);
    std::vector<TRLParserNode*> pending = std::move(FChildren);
    FChildren.clear();
    while (!pending.empty()) {
        TRLParserNode* node = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), node->FChildren.begin(), node->FChildren.end());
        node->FChildren.clear();
        node->FParent = nullptr;
        delete node; // childless and parentless: its own destructor does nothing more
    }
}

void TRLParserNode::AddChild(TRLParserNode* child)
{
    if (!child || child == this)
        return;
    if (child->FParent)
        child->FParent->RemoveChild(child);
    child->FParent = this;
    FChildren.push_back(child);
}

void TRLParserNode::ReplaceChild(TRLParserNode* child, TRLParserNode* replacement)
{
    for (TRLParserNode*& slot : FChildren)
        if (slot == child) {
            if (replacement->FParent)
                replacement->FParent->RemoveChild(replacement);
            slot = replacement;
            replacement->FParent = this;
            child->FParent = nullptr;
            return;
        }
}

void TRLParserNode::RemoveChild(TRLParserNode* child)
{
    for (auto it = FChildren.begin(); it != FChildren.end(); ++it)
        if (*it == child) {
            FChildren.erase(it);
            child->FParent = nullptr;
            return;
        }
}

// ---- parser ---------------------------------------------------------------------------------------

TRLExpressionParser::TRLExpressionParser(TComponent* AOwner)
    : TComponent(AOwner)
{ }

TRLExpressionParser::~TRLExpressionParser() = default;

void TRLExpressionParser::SetExpression(const QString& value)
{
    if (value == FExpression)
        return;
    FExpression = value;
    FExpressionTree.reset();
}

QVariant TRLExpressionParser::Evaluate(const QString& text)
{
    const std::unique_ptr<TRLParserNode> tree = Parse(text);
    if (!tree)
        return {};
    return EvaluateTree(tree.get());
}

QVariant TRLExpressionParser::Execute()
{
    if (!FExpressionTree)
        FExpressionTree = std::shared_ptr<TRLParserNode>(Parse(FExpression).release());
    const std::shared_ptr<TRLParserNode> tree = FExpressionTree;
    if (!tree)
        return {};
    return EvaluateTree(tree.get());
}

QVariant TRLExpressionParser::EvaluateTree(TRLParserNode* root)
{
    if (!root)
        return {};
    try {
        return EvaluateNode(root);
    } catch (Exception& e) {
        if (!OnException)
            throw;
        QVariant result;
        OnException(this, e, result);
        return result;
    }
}

QVariant TRLExpressionParser::Operand(const TRLParserNode* node, int index)
{
    return index < node->ChildCount() ? EvaluateNode(node->Child(index)) : QVariant();
}

QVariant TRLExpressionParser::EvaluateNode(const TRLParserNode* node)
{
    using N = TRLParserNode;
    switch (node->Kind) {
    case N::nkIdentifier: {
        const QString name = node->Value.toString();
        if (name.compare(QLatin1String("if"), Qt::CaseInsensitive) == 0) {
            if (node->ChildCount() != 3)
                throw EAbort(QStringLiteral("Wrong number of arguments"));
            return VarToBool(EvaluateNode(node->Child(0))) ? EvaluateNode(node->Child(1))
                                                           : EvaluateNode(node->Child(2));
        }
        QVariant params;
        if (node->ChildCount() > 0) {
            QVariantList arguments;
            arguments.reserve(node->ChildCount());
            for (int i = 0; i < node->ChildCount(); ++i)
                arguments.append(EvaluateNode(node->Child(i)));
            params = arguments;
        }
        return Resolve(name, params);
    }
    case N::nkNumber:
    case N::nkString:
        return node->Value;
    case N::nkPlus:
        return Operand(node, 0);
    case N::nkNegate:
        return VarNeg(Operand(node, 0));
    case N::nkNot:
        return VarNot(Operand(node, 0));
    case N::nkAssign: {
        const TRLParserNode* left = node->ChildCount() > 0 ? node->Child(0) : nullptr;
        if (!left || left->Kind != N::nkIdentifier)
            throw EAbort(QStringLiteral("Left side cannot be Assigned"));
        const QVariant value = Operand(node, 1);
        Assign(left->Value.toString(), value);
        return value;
    }
    case N::nkBlock: {
        QVariant result;
        for (int i = 0; i < node->ChildCount(); ++i)
            result = EvaluateNode(node->Child(i));
        return result;
    }
    default:
        break;
    }
    if (node->Kind < N::nkAdd || node->Kind > N::nkAnd)
        return {}; // kind 0 and anything unknown
    // Binary operators: left before right, so that side effects happen in reading order.
    const QVariant a = Operand(node, 0);
    const QVariant b = Operand(node, 1);
    switch (node->Kind) {
    case N::nkAdd:
        return VarAdd(a, b);
    case N::nkSubtract:
        return VarSub(a, b);
    case N::nkMultiply:
        return VarMul(a, b);
    case N::nkDivide:
        return VarDiv(a, b);
    case N::nkPower:
        return QVariant(std::pow(VarToFloat(a), VarToFloat(b)));
    case N::nkRoot:
        return QVariant(std::pow(VarToFloat(a), VarToFloat(VarDiv(QVariant(1), b))));
    case N::nkGreater:
        return QVariant(VarCompare(a, b) == vrGreaterThan);
    case N::nkLess:
        return QVariant(VarCompare(a, b) == vrLessThan);
    case N::nkEqual:
        return QVariant(VarCompare(a, b) == vrEqual);
    case N::nkDifferent:
        return QVariant(VarCompare(a, b) != vrEqual);
    case N::nkGreaterOrEqual:
        return QVariant(VarGe(a, b));
    case N::nkLessOrEqual:
        return QVariant(VarLe(a, b));
    case N::nkOr:
        return VarOr(a, b);
    case N::nkAnd:
        return VarAnd(a, b);
    default:
        return {};
    }
}

QVariant TRLExpressionParser::Resolve(const QString& name, const QVariant& params)
{
    QVariant result;
    if (OnIdentifier) {
        OnIdentifier(this, name, params, result);
        if (!VarIsEmpty(result))
            return result;
    }
    if (const TRLParserValue* value = FValues.Find(name); value && !VarIsEmpty(value->Value()))
        return value->Value();
    result = BuiltIn(name, params);
    if (!VarIsEmpty(result))
        return result;
    if (const TRLParserFunction* function = FFunctions.Find(name); function && function->Call) {
        result = function->Call(this, params);
        if (!VarIsEmpty(result))
            return result;
    }
    if (FHooks.FindIdentifier) {
        result = QVariant();
        if (FHooks.FindIdentifier(name, result) && !VarIsEmpty(result))
            return result;
    }
    if (FOptions.testFlag(poScanComponents)) {
        result = ReadPath(name);
        if (!VarIsEmpty(result))
            return result;
    }
    if (OnUnknown) {
        result = QVariant();
        OnUnknown(this, name, params, result);
        if (!VarIsEmpty(result))
            return result;
    }
    throw EAbort(QStringLiteral("Undefined identifier \"%1\"").arg(name));
}

QVariant TRLExpressionParser::BuiltIn(const QString& name, const QVariant& params) const
{
    const auto is
        = [&](const char* word) { return name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0; };
    if (is("pi"))
        return QVariant(3.1415926535897932385);
    if (is("true"))
        return QVariant(true);
    if (is("false"))
        return QVariant(false);
    if (is("null"))
        return VarNull();
    const bool minor = is("minor");
    if (!minor && !is("major"))
        return {};
    // Without arguments there is nothing to choose from: empty, and the name stays unresolved.
    if (!VarIsArray(params))
        return {};
    const QVariantList arguments = params.toList();
    if (arguments.isEmpty())
        return {};
    QVariant best = arguments.first();
    const TVariantRelationship wanted = minor ? vrLessThan : vrGreaterThan;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (VarCompare(arguments.at(i), best) == wanted)
            best = arguments.at(i); // strictly better only: the first of equal values stays
    return best;
}

void TRLExpressionParser::Assign(const QString& name, const QVariant& value)
{
    if (FOptions.testFlag(poScanComponents)) {
        const QStringList parts = name.split(u'.');
        QObject* object = Owner();
        for (qsizetype i = 0; object && i + 1 < parts.size(); ++i)
            object = FindObject(object, parts.at(i));
        if (object) {
            if (WriteProperty(object, parts.last(), value))
                return;
            if (FHooks.SetProperty && FHooks.SetProperty(object, parts.last(), value))
                return;
        }
    }
    TRLParserValue* item = FValues.Find(name);
    if (!item)
        item = new TRLParserValue(this, name);
    item->SetValue(value);
}
