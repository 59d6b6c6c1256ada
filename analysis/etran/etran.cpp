/*
 * etran.cpp --
 *
 *	The etran command: the expression translator of the band calculator.
 *	An expression over image variables is split into tokens, parsed by
 *	priority insertion into a tree, and generated post-order into
 *	three-address instructions (result, left operand, operator, right
 *	operand) with temporaries "~t0", "~t1", ... The command exposes the
 *	tokenizer, the operator table and the translation, and carries four
 *	console drivers (a grammar check, a tree drawing, and two runs of a
 *	small evaluator) for trying expressions by hand.
 */
#include "analysis/etran/etran.h"

#include <chrono>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "runtime/console.h"
#include "runtime/subcmd.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* Token kinds of the operator table. */
enum : int {
    kOperator = 1,
    kOpenParen = 2,
    kCloseParen = 4,
    kNumber = 8,
    kName = 16,
    kSemicolon = 32,
    kOpenBrace = 64,
    kCloseBrace = 128,
};

struct EtranOp {
    const char *text;  // token text; null for the name and number rows
    int kind;          // one of the token kinds
    int nvars;         // 0: the operator takes no right operand
    int priority;      // higher binds tighter
};

/* Row 0 is empty; rows 47 and 48 stand for every name and number. */
constexpr EtranOp kOps[] = {
    {"", 0, 0, 0},
    {"=", kOperator, 1, 0},
    {"+", kOperator, 1, 2},
    {"-", kOperator, 1, 2},
    {"*", kOperator, 2, 3},
    {"/", kOperator, 1, 3},
    {"idiv", kOperator, 1, 3},
    {"lini", kOperator, 4, 3},
    {"%", kOperator, 1, 3},
    {"rand", kOperator, 1, 3},
    {"==", kOperator, 3, 1},
    {">=", kOperator, 3, 1},
    {"<=", kOperator, 3, 1},
    {">", kOperator, 3, 1},
    {"<", kOperator, 3, 1},
    {"&&", kOperator, 3, 1},
    {"||", kOperator, 3, 1},
    {"&", kOperator, 1, 4},
    {"|", kOperator, 1, 4},
    {"xor", kOperator, 1, 4},
    {"^", kOperator, 1, 4},
    {"dist", kOperator, 2, 4},
    {"exp", kOperator, 1, 4},
    {"expd", kOperator, 6, 4},
    {"expx", kOperator, 3, 4},
    {"expy", kOperator, 3, 4},
    {"sinx", kOperator, 2, 4},
    {"siny", kOperator, 2, 4},
    {"sin", kOperator, 4, 4},
    {"cosx", kOperator, 2, 4},
    {"cosy", kOperator, 2, 4},
    {"cos", kOperator, 4, 4},
    {"deconv", kOperator, 3, 4},
    {"init", kOperator, 1, 5},
    {"initx", kOperator, 2, 5},
    {"inity", kOperator, 2, 5},
    {"initxy", kOperator, 4, 5},
    {"ring", kOperator, 0, 5},
    {"!", kOperator, 0, 5},
    {"max", kOperator, 1, 5},
    {"min", kOperator, 1, 5},
    {"neg", kOperator, 1, 5},
    {"(", kOpenParen, 0, 0},
    {")", kCloseParen, 0, 0},
    {"{", kOpenBrace, 0, 0},
    {"}", kCloseBrace, 0, 0},
    {";", kSemicolon, 0, 0},
    {nullptr, kName, 0, 6},
    {nullptr, kNumber, 0, 6},
};
constexpr int kPlusRow = 2;
constexpr int kMinusRow = 3;
constexpr int kNameRow = 47;
constexpr int kNumberRow = 48;
static_assert(sizeof kOps / sizeof kOps[0] == kNumberRow + 1, "46 token rows, then name and number");

/* Longest token text, in characters. */
constexpr std::size_t kMaxToken = 32;
/* Deepest nesting of brackets. */
constexpr std::size_t kMaxBrackets = 64;
/* Most distinct texts a program of the evaluator holds. */
constexpr std::size_t kMaxItems = 256;
/* Priority that makes a bracketed subexpression one operand. */
constexpr int kBracketPriority = 1000;

constexpr const char *kTooLong = "token longer than 32 characters";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/*
 * etranLookup --
 *	The row of the token whose text equals it exactly; else the number row
 *	when it begins with a digit, the name row otherwise.
 */
int etranLookup(std::string_view token)
{
    for (int row = 1; row < kNameRow; row++) {
        if (token == kOps[row].text) {
            return row;
        }
    }
    return !token.empty() && isDigit(token[0]) ? kNumberRow : kNameRow;
}

/* Temporaries are numbered across translations until resetvar. */
int tempCounter = 0;

std::string newTemporary()
{
    std::string name = "~t" + std::to_string(tempCounter);
    tempCounter = tempCounter == INT_MAX ? 0 : tempCounter + 1;
    return name;
}

/* One instruction: result := left operator right. */
struct EtranQuad {
    std::string result;
    std::string op;
    std::string left;
    std::string right;
};

/* A node of the expression tree; children are indices, -1 for none. */
struct ExprNode {
    std::string text;  // token text, or the result once generated
    int priority;
    int left;
    int right;
};

/*
 * Translator --
 *	The state of one translation: the input and its read position, the
 *	bracket stack and nesting count, and the nodes of the tree. Errors are
 *	printed to standard error as they are found; after the first one the
 *	translation only unwinds.
 */
class Translator {
public:
    explicit Translator(std::string input) : input_(std::move(input)) {}

    enum class Next { Token, End, Error };

    /*
     * nextToken --
     *	The next token of the input in token. End when only blanks and
     *	newlines are left; Error (reported) when a token would grow beyond
     *	32 characters.
     */
    Next nextToken(std::string &token)
    {
        token.clear();
        while (pos_ < input_.size() && isSeparator(input_[pos_])) {
            pos_++;
        }
        if (pos_ >= input_.size()) {
            return Next::End;
        }
        while (pos_ < input_.size()) {
            char c = input_[pos_];
            if (isSeparator(c)) {
                pos_++;
                break;
            }
            if (std::string_view("!%&()*/;^{|}").find(c) != std::string_view::npos) {
                if (token.empty()) {
                    token += c;
                    pos_++;
                }
                break;
            }
            if (c == '<' || c == '=' || c == '>') {
                if (token.empty()) {
                    token += c;
                    pos_++;
                    if (pos_ < input_.size() && input_[pos_] == '=') {
                        token += '=';
                        pos_++;
                    }
                }
                break;
            }
            if (c == '+' || c == '-') {
                if (token.empty()) {
                    token += c;
                    pos_++;
                    break;
                }
                char last = token.back();
                bool listSign = last == ',';
                bool exponentSign = (last == 'e' || last == 'E') && isDigit(token[0]);
                if (!listSign && !exponentSign) {
                    break;
                }
            }
            pos_++;
            if (token.size() >= kMaxToken) {
                error(kTooLong);
                return Next::Error;
            }
            token += c;
        }
        return Next::Token;
    }

    /*
     * parse --
     *	The tree of the whole input: the index of its root, or -1 after an
     *	error has been reported (unbalanced brackets included).
     */
    int parse()
    {
        brackets_.clear();
        nesting_ = 0;
        int root = exprTree(true);
        if (root < 0 || failed_) {
            return -1;
        }
        if (nesting_ != 0) {
            tesk_fprintf(stdout, "nPars %d\n", nesting_);
            error("parenthesis mismatch in main");
            return -1;
        }
        return root;
    }

    /*
     * generate --
     *	Appends the instructions of the tree at root, post-order (left
     *	subtree, right subtree, node). Each generated node becomes a leaf
     *	holding its result. A tree of one leaf gives one instruction with
     *	the leaf as operator and nothing else.
     */
    void generate(int root, std::vector<EtranQuad> &out)
    {
        if (isLeaf(root)) {
            out.push_back({"", nodes_[root].text, "", ""});
            return;
        }
        /* An explicit stack: a long chain of operators makes a deep tree. */
        std::vector<std::pair<int, bool>> stack{{root, false}};
        while (!stack.empty()) {
            auto [node, childrenDone] = stack.back();
            if (!childrenDone) {
                stack.back().second = true;
                if (int right = nodes_[node].right; right >= 0 && !isLeaf(right)) {
                    stack.push_back({right, false});
                }
                if (int left = nodes_[node].left; left >= 0 && !isLeaf(left)) {
                    stack.push_back({left, false});
                }
                continue;
            }
            stack.pop_back();
            ExprNode &n = nodes_[node];
            std::string l = n.left >= 0 ? nodes_[n.left].text : "null";
            std::string r = n.right >= 0 ? nodes_[n.right].text : "null";
            std::string result;
            if (startsWithTilde(l)) {
                result = l;
            } else if (!startsWithTilde(r)) {
                result = newTemporary();
            } else {
                result = r;
            }
            out.push_back({result, n.text, l, r});
            n.text = result;
            n.left = n.right = -1;
        }
    }

    /*
     * error --
     *	Reports message with the input and a caret under the character last
     *	read, on standard error; marks the translation failed.
     */
    void error(const char *message)
    {
        failed_ = true;
        std::string text = "\nError: ";
        text += message;
        text += '\n';
        text += input_;
        text += '\n';
        text.append(pos_ > 0 ? pos_ - 1 : 0, ' ');
        text += "^\n";
        tesk_fprintf(stderr, "%s", text.c_str());
    }

    const ExprNode &node(int index) const { return nodes_[index]; }

private:
    static bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool startsWithTilde(const std::string &text) { return !text.empty() && text[0] == '~'; }

    bool isLeaf(int index) const { return nodes_[index].left < 0 && nodes_[index].right < 0; }

    int newNode(std::string text, int priority, int left = -1, int right = -1)
    {
        nodes_.push_back({std::move(text), priority, left, right});
        return static_cast<int>(nodes_.size()) - 1;
    }

    bool pushBracket(char bracket)
    {
        if (brackets_.size() >= kMaxBrackets) {
            error("bracket stack overflow");
            return false;
        }
        brackets_.push_back(bracket);
        return true;
    }

    /* The innermost open bracket, removed; 0 (reported) when none is open. */
    char popBracket()
    {
        if (brackets_.empty()) {
            error("bracket stack underflow");
            return 0;
        }
        char bracket = brackets_.back();
        brackets_.pop_back();
        return bracket;
    }

    /*
     * exprTerm --
     *	One operand: a name or number, a negated name or number, or a
     *	bracketed subexpression. -1 when the input ends first (nothing
     *	reported) or after a reported error.
     */
    int exprTerm()
    {
        std::string token;
        if (nextToken(token) != Next::Token) {
            return -1;
        }
        int row = etranLookup(token);
        if (row == kPlusRow) {
            if (nextToken(token) != Next::Token) {
                return -1;
            }
            row = etranLookup(token);
        }
        if (row == kMinusRow) {
            std::string operand;
            Next next = nextToken(operand);
            if (next == Next::Error) {
                return -1;
            }
            if (next == Next::End) {
                error("unary operator missing variable.");
                return -1;
            }
            int operandRow = etranLookup(operand);
            if (operandRow == kNumberRow) {
                if (operand.size() + 1 > kMaxToken) {
                    error(kTooLong);
                    return -1;
                }
                return newNode("-" + operand, kOps[kNumberRow].priority);
            }
            if (operandRow == kNameRow) {
                int left = newNode(operand, kOps[kNameRow].priority);
                int right = newNode(operand, kOps[kNameRow].priority);
                return newNode("neg", kOps[kNameRow].priority, left, right);
            }
            error("expected a NUM or a VAR");
            return -1;
        }
        switch (kOps[row].kind) {
        case kOperator: error("unexpected operator."); return -1;
        case kNumber:
        case kName: return newNode(token, kOps[row].priority);
        case kOpenParen:
        case kOpenBrace: {
            if (!pushBracket(token[0])) {
                return -1;
            }
            nesting_++;
            int root = exprTree(false);
            if (root < 0) {
                return -1;
            }
            nodes_[root].priority = kBracketPriority;
            return root;
        }
        case kCloseParen:
        case kCloseBrace: error("Unexpected right parenthese or bracket in exprTerm"); return -1;
        default: error("syntax in exprTerm"); return -1;
        }
    }

    /*
     * exprTree --
     *	An expression up to the end of the input, a ";", or the closing
     *	bracket of the subexpression it parses. Each operator is inserted by
     *	priority: above the root when the root binds at least as tightly
     *	(operators of equal priority group from the left), else on the
     *	root's right edge above the first node that binds at least as
     *	tightly. Answers the root, or -1.
     */
    int exprTree(bool topLevel)
    {
        int root = exprTerm();
        if (root < 0) {
            if (!failed_ && topLevel) {
                error("empty line.");
            }
            return -1;
        }
        std::string token;
        for (;;) {
            Next next = nextToken(token);
            if (next == Next::Error) {
                return -1;
            }
            if (next == Next::End) {
                break;
            }
            int row = etranLookup(token);
            const EtranOp &op = kOps[row];
            if (op.kind == kOperator) {
                int right = -1;
                if (op.nvars != 0) {
                    right = exprTerm();
                    if (right < 0) {
                        if (!failed_) {
                            error("opr syntax.");
                        }
                        return -1;
                    }
                }
                int added = newNode(token, op.priority, -1, right);
                if (nodes_[root].priority >= op.priority) {
                    nodes_[added].left = root;
                    root = added;
                } else {
                    int at = root;
                    while (nodes_[at].right >= 0 && nodes_[nodes_[at].right].priority < op.priority) {
                        at = nodes_[at].right;
                    }
                    nodes_[added].left = nodes_[at].right;
                    nodes_[at].right = added;
                }
                continue;
            }
            if (op.kind == kCloseParen || op.kind == kCloseBrace) {
                if (nesting_ <= 0) {
                    error("Unexpected right parenthese or bracket in exprTree");
                    return -1;
                }
                char open = popBracket();
                if (failed_) {
                    return -1;
                }
                if (op.kind == kCloseParen && open != '(') {
                    error("unmatch right parenthses");
                    return -1;
                }
                if (op.kind == kCloseBrace && open != '{') {
                    error("unmatch right bracket");
                    return -1;
                }
                nesting_--;
                break;
            }
            if (op.kind == kSemicolon) {
                break;
            }
            error("unexpected token in exprTree");
            return -1;
        }
        return root;
    }

    std::string input_;
    std::size_t pos_ = 0;          // read position in input_
    std::vector<char> brackets_;   // open brackets, '(' or '{', at most 64
    int nesting_ = 0;              // brackets open
    bool failed_ = false;          // an error has been reported
    std::vector<ExprNode> nodes_;  // the tree; freed with the translator
};

/* Translates input; the instructions in out, or false after a reported error. */
bool etranTranslate(const std::string &input, std::vector<EtranQuad> &out)
{
    Translator translator(input);
    int root = translator.parse();
    if (root < 0) {
        return false;
    }
    translator.generate(root, out);
    return true;
}

/* ---- console helpers ------------------------------------------------------------ */

/* One console line without its line end; false when the console gives none. */
bool readConsoleLine(std::string &line)
{
    int length = 0;
    const char *text = conGets(&length);
    if (text == nullptr) {
        return false;
    }
    line.assign(text, static_cast<std::size_t>(length));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return true;
}

/* The finite number at the start of text (after blanks), read in the C
 * locale; false, value untouched, when there is none ("inf" and "nan" are
 * names). */
bool readNumber(std::string_view text, double &value)
{
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return false;
    }
    double v = 0;
    auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), v);
    (void)end;
    if (ec != std::errc() || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

/* ---- the evaluator of the console drivers ------------------------------------- */

/*
 * EtranProgram --
 *	An instruction list bound to operations over symbol items: every
 *	distinct text among results and operands is an item whose value starts
 *	as the text read as a number (0 for names and temporaries).
 */
class EtranProgram {
public:
    struct Item {
        std::string name;
        double value;
    };

    /* Binds the instructions; false after printing why they cannot run. */
    bool build(const std::vector<EtranQuad> &quads)
    {
        for (const EtranQuad &quad : quads) {
            Step step{};
            if (!bindOperator(quad.op, step.op)) {
                tesk_fprintf(stderr, "fail to solve opr: %s\n", quad.op.c_str());
                return false;
            }
            step.result = itemOf(quad.result);
            step.left = itemOf(quad.left);
            step.right = itemOf(quad.right);
            if (step.result < 0 || step.left < 0 || step.right < 0) {
                tesk_fprintf(stderr, "Items overlow.\n");
                return false;
            }
            steps_.push_back(step);
        }
        return true;
    }

    /* Runs every instruction once, in order. */
    void run()
    {
        for (const Step &step : steps_) {
            double l = items_[step.left].value;
            double r = items_[step.right].value;
            double &result = items_[step.result].value;
            switch (step.op) {
            case Op::Sum: result = l + r; break;
            case Op::Difference: result = l - r; break;
            case Op::Product: result = l * r; break;
            case Op::Quotient: result = l / r; break;
            case Op::Power: result = std::pow(l, r); break;
            case Op::Assign:
                items_[step.left].value = r;
                result = r;
                break;
            case Op::Negate: result = -l; break;
            }
        }
    }

    int stepCount() const { return static_cast<int>(steps_.size()); }

    /* The variables: items that are neither numbers nor temporaries. */
    std::vector<Item *> variables()
    {
        std::vector<Item *> out;
        for (Item &item : items_) {
            const std::string &name = item.name;
            if (name.empty()) {
                continue;
            }
            bool number = isDigit(name[0]) || ((name[0] == '-' || name[0] == '+') && isDigit(name[1]));
            if (!number && name[0] != '~') {
                out.push_back(&item);
            }
        }
        return out;
    }

private:
    enum class Op { Sum, Difference, Product, Quotient, Power, Assign, Negate };
    struct Step {
        Op op;
        int result, left, right;  // item indices
    };

    static bool bindOperator(const std::string &text, Op &op)
    {
        static const std::pair<const char *, Op> kBindings[] = {
            {"+", Op::Sum},   {"-", Op::Difference}, {"*", Op::Product},  {"/", Op::Quotient},
            {"^", Op::Power}, {"=", Op::Assign},     {"neg", Op::Negate},
        };
        for (const auto &[name, bound] : kBindings) {
            if (text == name) {
                op = bound;
                return true;
            }
        }
        return false;
    }

    /* The item of text, added when new; -1 beyond the item limit. Empty
     * texts share one item that no instruction of a run reads. */
    int itemOf(const std::string &text)
    {
        for (std::size_t i = 0; i < items_.size(); i++) {
            if (items_[i].name == text) {
                return static_cast<int>(i);
            }
        }
        if (items_.size() >= kMaxItems) {
            return -1;
        }
        double value = 0;
        readNumber(text, value);
        items_.push_back({text, value});
        return static_cast<int>(items_.size()) - 1;
    }

    std::vector<Item> items_;
    std::vector<Step> steps_;
};

/* ---- console drivers ---------------------------------------------------------------- */

/*
 * parser0 --
 *	Checks the token sequence of a typed expression against the grammar
 *	(operand, operator, operand ..., with unary signs and brackets), then
 *	prints the operands and the operators and brackets, one token a line.
 */
int driverGrammar(Tcl_Interp *, int, const char **)
{
    tesk_fprintf(stdout, "Input expression: ");
    std::string line;
    if (!readConsoleLine(line)) {
        return TCL_OK;
    }
    Translator tokens(line);
    std::vector<std::string> operands, operators;
    std::vector<char> open;
    bool expectOperand = true;
    bool any = false;
    std::string token;
    Translator::Next next;
    while ((next = tokens.nextToken(token)) == Translator::Next::Token) {
        any = true;
        const EtranOp &op = kOps[etranLookup(token)];
        const char *problem = nullptr;
        switch (op.kind) {
        case kName:
        case kNumber:
            if (!expectOperand) {
                problem = "syntax in exprStack";
            }
            operands.push_back(token);
            expectOperand = false;
            break;
        case kOperator:
            if (expectOperand && token != "+" && token != "-") {
                problem = "syntax in exprStack";
            }
            operators.push_back(token);
            expectOperand = expectOperand || op.nvars != 0;
            break;
        case kOpenParen:
        case kOpenBrace:
            if (!expectOperand) {
                problem = "syntax in exprStack";
            } else if (open.size() >= kMaxBrackets) {
                problem = "bracket stack overflow";
            }
            open.push_back(token[0]);
            operators.push_back(token);
            break;
        case kCloseParen:
        case kCloseBrace:
            if (expectOperand) {
                problem = "syntax in exprStack";
            } else if (open.empty()) {
                problem = "unmatched parenthese or bracket";
            } else if (op.kind == kCloseParen && open.back() != '(') {
                problem = "unmatched parenthese exprStack";
            } else if (op.kind == kCloseBrace && open.back() != '{') {
                problem = "unmatched bracket in exprStack";
            } else {
                open.pop_back();
            }
            operators.push_back(token);
            break;
        default:  // ";" ends the expression
            if (expectOperand) {
                problem = "syntax in exprStack";
            }
            break;
        }
        if (problem != nullptr) {
            tokens.error(problem);
            return TCL_OK;
        }
        if (op.kind == kSemicolon) {
            break;
        }
    }
    if (next == Translator::Next::Error || !any) {
        return TCL_OK;
    }
    if (expectOperand) {
        tokens.error("syntax in exprStack");
        return TCL_OK;
    }
    if (!open.empty()) {
        tokens.error("unmatched parenthese or bracket");
        return TCL_OK;
    }
    for (const std::string &text : operands) {
        tesk_fprintf(stdout, "%s\n", text.c_str());
    }
    for (const std::string &text : operators) {
        tesk_fprintf(stdout, "%s\n", text.c_str());
    }
    return TCL_OK;
}

/*
 * parser1 --
 *	Translates a typed expression on a cleared console, draws its tree
 *	(root at column 40 of row 5, one row a level, children a quarter of
 *	the parent's width to either side), and prints its instructions with
 *	the temporaries numbered from 0.
 */
int driverTree(Tcl_Interp *, int, const char **)
{
    tesk_fprintf(stdout, "Input expression: ");
    std::string line;
    if (!readConsoleLine(line)) {
        return TCL_OK;
    }
    consoleClear();
    Translator translator(line);
    int root = translator.parse();
    if (root < 0) {
        return TCL_OK;
    }
    tesk_fprintf(stdout, "%s\n", line.c_str());

    struct Place {
        int node, column, row, width;
    };
    std::vector<Place> stack{{root, 40, 5, 80}};
    int lastRow = 5;
    while (!stack.empty()) {
        Place place = stack.back();
        stack.pop_back();
        const ExprNode &n = translator.node(place.node);
        consoleGotoXY(place.column, place.row);
        tesk_fprintf(stdout, "%s", n.text.c_str());
        lastRow = place.row > lastRow ? place.row : lastRow;
        int offset = place.width / 4;
        int width = place.width / 2 < 4 ? 4 : place.width / 2;
        if (n.right >= 0) {
            stack.push_back({n.right, place.column + offset, place.row + 1, width});
        }
        if (n.left >= 0) {
            int column = place.column - offset;
            stack.push_back({n.left, column < 0 ? 0 : column, place.row + 1, width});
        }
    }
    consoleGotoXY(0, lastRow + 1);
    tesk_fprintf(stdout, "\n");

    tempCounter = 0;
    std::vector<EtranQuad> quads;
    translator.generate(root, quads);
    for (const EtranQuad &quad : quads) {
        tesk_fprintf(stdout, "%10s %10s %10s %10s\n", quad.result.c_str(), quad.left.c_str(), quad.op.c_str(),
                     quad.right.c_str());
    }
    return TCL_OK;
}

/* The texts of the two evaluator drivers. */
struct RunTexts {
    const char *askValue;  // printf format with the variable's name
    const char *askCount;
    bool countOperations;   // the timing line names the operations
    const char *showValue;  // printf format with the name and the value
};

/*
 * runDriver --
 *	Translates a typed expression with the temporaries numbered from 0,
 *	asks a value for each variable and a number of runs, runs the
 *	instructions that often and prints the time taken and every variable.
 */
int runDriver(const RunTexts &texts)
{
    tesk_fprintf(stdout, "Input expression: ");
    std::string line;
    if (!readConsoleLine(line) || line.find_first_not_of(" \t") == std::string::npos) {
        tesk_fprintf(stderr, "%s\n", "Empty expr");
        return TCL_OK;
    }
    tempCounter = 0;
    std::vector<EtranQuad> quads;
    if (!etranTranslate(line, quads)) {
        tesk_fprintf(stderr, "parser error.\n");
        return TCL_OK;
    }
    if (quads.size() == 1 && quads[0].left.empty() && quads[0].right.empty()) {
        tesk_fprintf(stderr, "%s\n", "Incomplete expression");
        return TCL_OK;
    }
    EtranProgram program;
    if (!program.build(quads)) {
        return TCL_OK;
    }
    std::vector<EtranProgram::Item *> variables = program.variables();
    for (EtranProgram::Item *item : variables) {
        tesk_fprintf(stdout, texts.askValue, item->name.c_str());
        std::string answer;
        if (readConsoleLine(answer)) {
            readNumber(answer, item->value);
        }
    }
    tesk_fprintf(stdout, "%s", texts.askCount);
    std::string answer;
    double count = 0;
    int runs = 0;
    if (readConsoleLine(answer) && readNumber(answer, count) && count >= 1) {
        runs = count >= INT_MAX ? INT_MAX : static_cast<int>(count);
    }

    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; i++) {
        program.run();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (texts.countOperations) {
        long long operations = static_cast<long long>(runs) * program.stepCount();
        tesk_fprintf(stdout, "Time used: %13.6fs for total of %d operations\n", seconds,
                     operations > INT_MAX ? INT_MAX : static_cast<int>(operations));
    } else {
        tesk_fprintf(stdout, "Time used: %13.6fs\n", seconds);
    }
    for (const EtranProgram::Item *item : variables) {
        tesk_fprintf(stdout, texts.showValue, item->name.c_str(), item->value);
    }
    return TCL_OK;
}

int driverRun(Tcl_Interp *, int, const char **)
{
    static constexpr RunTexts kTexts = {"%s ? ", "Input n: ", true, "%s = %13.3f\n"};
    return runDriver(kTexts);
}

int driverRunTimed(Tcl_Interp *, int, const char **)
{
    static constexpr RunTexts kTexts = {"Input value for %s: ", "Enter execution numbers: ", false, "%10s %13.3f\n"};
    return runDriver(kTexts);
}

/* ---- subcommands --------------------------------------------------------------------- */

int usage(Tcl_Interp *interp, const char *command, const char *words)
{
    Tcl_AppendResult(interp, "Usage: ", command, words, nullptr);
    return TCL_ERROR;
}

/* etran parser expression: the instructions, "result left operator right" each. */
int etranParser(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " parser expression");
    }
    std::vector<EtranQuad> quads;
    if (!etranTranslate(argv[2], quads)) {
        return TCL_ERROR;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const EtranQuad &quad : quads) {
        std::string element = quad.result + " " + quad.left + " " + quad.op + " " + quad.right;
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(element.data(), static_cast<int>(element.size())));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

int etranPriority(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " priority token");
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(kOps[etranLookup(argv[2])].priority));
    return TCL_OK;
}

int etranIsopr(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " isopr token");
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(kOps[etranLookup(argv[2])].kind == kOperator ? 1 : 0));
    return TCL_OK;
}

int etranNvars(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " nvars token");
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(kOps[etranLookup(argv[2])].nvars));
    return TCL_OK;
}

int etranResetvar(Tcl_Interp *, int, const char **)
{
    tempCounter = 0;
    return TCL_OK;
}

/* etran token str: every token of str, each followed by a blank. */
int etranToken(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " token str");
    }
    Translator tokens(argv[2]);
    std::string all, token;
    Translator::Next next;
    while ((next = tokens.nextToken(token)) == Translator::Next::Token) {
        all += token;
        all += ' ';
    }
    if (next == Translator::Next::Error) {
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(all.data(), static_cast<int>(all.size())));
    return TCL_OK;
}

struct EtranSubcommand {
    const char *name;
    int minLength;
    int (*proc)(Tcl_Interp *interp, int argc, const char **argv);
};

constexpr EtranSubcommand kSubcommands[] = {
    {"parser", 6, etranParser}, {"parser0", 7, driverGrammar},  {"parser1", 7, driverTree},
    {"parser2", 7, driverRun},  {"parser3", 7, driverRunTimed}, {"priority", 7, etranPriority},
    {"isopr", 4, etranIsopr},   {"nvars", 4, etranNvars},       {"resetvar", 4, etranResetvar},
    {"token", 5, etranToken},
};

int etranCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_ResetResult(interp);
    if (argc < 2) {
        tesk_fprintf(stdout,
                     "Usage: etran isopr|nvars|parser|parser0|parser1|parser2|parser3|priority|resetvar|token\n");
        return TCL_OK;
    }
    int row = findSubcommand(kSubcommands, argv[1]);
    if (row < 0) {
        tesk_fprintf(stderr, "Unkndow command of etran\n");
        return TCL_ERROR;
    }
    return kSubcommands[row].proc(interp, argc, argv);
}

}  // namespace

int etranInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "etran", etranCmd, nullptr, nullptr) != nullptr ? TCL_OK : 1;
}
