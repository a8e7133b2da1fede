// call_parser.cpp: reads one mexrun call, `[outputs] = name(arguments)`,
// whose arguments are literals of the MATLAB command language.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "call_syntax.h"

namespace call_syntax {

namespace {

using mexhost::ArrayClass;

// A literal may not hold more elements than this (1 GiB of doubles), so that
// a typing slip such as zeros(1e6,1e6) fails at once instead of exhausting
// the machine.
const size_t max_literal_elements = size_t(1) << 27;

struct Scalar {
    double real = 0.0;
    double imag = 0.0;
    bool complex = false;
};

bool is_identifier_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

bool is_identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool is_space(char c) { return c == ' ' || c == '\t'; }

Value scalar_value(const Scalar &s) {
    Value value;
    value.m = value.n = 1;
    value.real = {s.real};
    if (s.complex) value.imag = {s.imag};
    return value;
}

class Parser {
public:
    explicit Parser(const std::string &text) : text_(text) {}

    Call parse() {
        Call call;
        skip_spaces();
        call.outputs = parse_output_list();
        skip_spaces();
        if (!is_identifier_start(peek())) fail("expected the name of a plug-in");
        call.function = read_identifier();
        skip_spaces();
        if (peek() == '(') call.arguments = parse_arguments();
        skip_spaces();
        if (!at_end()) fail("unexpected text after the call");
        return call;
    }

private:
    const std::string &text_;
    size_t pos_ = 0;

    [[noreturn]] void fail(const std::string &what) const {
        throw SyntaxError(what + " at column " + std::to_string(pos_ + 1) + " of: " + text_);
    }

    bool at_end() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }

    // Skips blanks; tells whether there were any (they separate matrix elements).
    bool skip_spaces() {
        size_t start = pos_;
        while (is_space(peek())) ++pos_;
        return pos_ != start;
    }

    void expect(char c) {
        skip_spaces();
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++pos_;
    }

    std::string read_identifier() {
        size_t start = pos_;
        while (is_identifier_char(peek())) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::string peek_identifier() const {
        size_t end = pos_;
        while (end < text_.size() && is_identifier_char(text_[end])) ++end;
        return text_.substr(pos_, end - pos_);
    }

    // ---- Outputs: `v =`, `[v, d] =`, `[v d] =`, or nothing.

    std::vector<std::string> parse_output_list() {
        if (peek() == '[') return parse_bracketed_outputs();
        size_t start = pos_;
        if (is_identifier_start(peek())) {
            std::string name = read_identifier();
            if (consume_assignment()) return {name};
        }
        pos_ = start;  // no assignment: this was the plug-in name
        return {};
    }

    std::vector<std::string> parse_bracketed_outputs() {
        ++pos_;  // '['
        std::vector<std::string> names;
        skip_spaces();
        while (peek() != ']') {
            if (!names.empty() && peek() == ',') ++pos_;
            skip_spaces();
            names.push_back(read_output_name());
            bool separated = skip_spaces();
            if (!separated && peek() != ',' && peek() != ']') fail("expected ',' or ']' in the output list");
        }
        if (names.empty()) fail("empty output list");
        ++pos_;  // ']'
        if (!consume_assignment()) fail("expected '=' after the output list");
        return names;
    }

    std::string read_output_name() {
        if (peek() == '~') {
            ++pos_;
            return "~";
        }
        if (!is_identifier_start(peek())) fail("expected an output name");
        return read_identifier();
    }

    bool consume_assignment() {
        skip_spaces();
        if (peek() != '=' || peek(1) == '=') return false;
        ++pos_;
        return true;
    }

    // ---- Arguments.

    std::vector<Value> parse_arguments() {
        ++pos_;  // '('
        std::vector<Value> arguments;
        skip_spaces();
        if (peek() == ')') {
            ++pos_;
            return arguments;
        }
        for (;;) {
            arguments.push_back(parse_argument());
            skip_spaces();
            if (peek() == ')') break;
            if (peek() != ',') fail("expected ',' or ')' after an argument");
            ++pos_;
        }
        ++pos_;  // ')'
        return arguments;
    }

    // An argument is a product of factors, evaluated from the left as MATLAB
    // does: `-8*ones(1,5)`, `-100/3*ones(1,6)`, `2*[1 2]`. Each product or
    // quotient must have a scalar on one side (the divisor of a quotient), so
    // every element is one IEEE operation on the values as written.
    Value parse_argument() {
        Value value = parse_factor();
        for (;;) {
            skip_spaces();
            char op = peek();
            if (op != '*' && op != '/') return value;
            size_t at = pos_;
            ++pos_;
            Value right = parse_factor();
            value = scaled(std::move(value), right, op, at);
        }
    }

    // A literal, or a sign and a literal that is not a number: `-[1 2]`,
    // `+ones(2)`. A sign before a number belongs to the number.
    Value parse_factor() {
        skip_spaces();
        char sign = peek();
        if ((sign != '-' && sign != '+') || !array_follows_sign()) return parse_literal();
        ++pos_;
        skip_spaces();
        Value value = parse_literal();
        return sign == '-' ? negated(std::move(value)) : promoted(std::move(value));
    }

    bool array_follows_sign() const {
        size_t ahead = 1;
        while (is_space(peek(ahead))) ++ahead;
        char c = peek(ahead);
        if (c == '[' || c == '\'') return true;
        if (!is_identifier_start(c)) return false;
        size_t end = pos_ + ahead;
        while (end < text_.size() && is_identifier_char(text_[end])) ++end;
        return !is_number_name(text_.substr(pos_ + ahead, end - pos_ - ahead));
    }

    // Unary plus: logical and char values become double, as in MATLAB.
    static Value promoted(Value value) {
        if (value.cls == ArrayClass::Logical || value.cls == ArrayClass::Char) {
            value.cls = ArrayClass::Double;
        }
        return value;
    }

    // Unary minus; int32 saturates as MATLAB's does (-int32(-2^31) is 2^31 - 1).
    static Value negated(Value value) {
        value = promoted(std::move(value));
        for (double &x : value.real) x = -x;
        for (double &x : value.imag) x = -x;
        if (value.cls == ArrayClass::Int32) {
            for (double &x : value.real) x = std::fmin(x, double(INT32_MAX));
        }
        return value;
    }

    static bool is_scalar(const Value &value) { return value.m == 1 && value.n == 1; }

    Value scaled(Value left, const Value &right, char op, size_t at) {
        for (const Value *factor : {static_cast<const Value *>(&left), &right}) {
            if (factor->cls != ArrayClass::Double || factor->sparse || !factor->imag.empty()) {
                pos_ = at;
                fail("products and quotients take real full double values only");
            }
        }
        if (op == '/' && !is_scalar(right)) {
            pos_ = at;
            fail("a quotient needs a scalar divisor");
        }
        if (op == '*' && !is_scalar(left) && !is_scalar(right)) {
            pos_ = at;
            fail("a product needs a scalar factor");
        }
        if (op == '*' && is_scalar(left)) {
            Value result = right;
            for (double &x : result.real) x = left.real[0] * x;
            return result;
        }
        double factor = right.real[0];
        for (double &x : left.real) x = op == '*' ? x * factor : x / factor;
        return left;
    }

    Value parse_literal() {
        skip_spaces();
        char c = peek();
        if (c == '[') return parse_matrix();
        if (c == '\'') return parse_char();
        if (c == '"') fail("strings in double quotes are not supported; use single quotes");
        if (is_identifier_start(c) && !is_number_name(peek_identifier())) return parse_named();
        return scalar_value(parse_scalar(false));
    }

    // zeros(..), ones(..), sparse(..), int32(..), single(..), true, false.
    Value parse_named() {
        size_t start = pos_;
        std::string name = read_identifier();
        if (name == "true" || name == "false") return logical_scalar(name == "true");
        if (name == "zeros" || name == "ones") return parse_filled(name == "ones" ? 1.0 : 0.0);
        if (name == "sparse") return parse_conversion(ArrayClass::Double, true);
        if (name == "int32") return parse_conversion(ArrayClass::Int32, false);
        if (name == "single") return parse_conversion(ArrayClass::Single, false);
        pos_ = start;
        fail("unknown name '" + name + "' (arguments must be literals)");
    }

    static Value logical_scalar(bool truth) {
        Value value;
        value.cls = ArrayClass::Logical;
        value.m = value.n = 1;
        value.real = {truth ? 1.0 : 0.0};
        return value;
    }

    // zeros(M,N) or zeros(N) (N-by-N), likewise ones.
    Value parse_filled(double fill) {
        expect('(');
        size_t m = parse_dimension();
        size_t n = m;
        skip_spaces();
        if (peek() == ',') {
            ++pos_;
            n = parse_dimension();
        }
        expect(')');
        Value value;
        value.m = m;
        value.n = n;
        value.real.assign(checked_element_count(m, n), fill);
        return value;
    }

    size_t parse_dimension() {
        skip_spaces();
        Scalar s = parse_scalar(false);
        bool whole = !s.complex && s.real >= 0 && s.real < 9.2e18 && s.real == std::floor(s.real);
        if (!whole) fail("a size must be a non-negative whole number");
        return static_cast<size_t>(s.real);
    }

    size_t checked_element_count(size_t m, size_t n) {
        size_t count = 0;
        if (__builtin_mul_overflow(m, n, &count) || count > max_literal_elements) {
            fail("array too large for a literal (at most " + std::to_string(max_literal_elements) +
                 " elements)");
        }
        return count;
    }

    // sparse(X), int32(X), single(X) of a numeric literal.
    Value parse_conversion(ArrayClass cls, bool sparse) {
        expect('(');
        Value value = parse_argument();
        if (value.cls != ArrayClass::Double) fail("expected a numeric literal");
        if (!sparse && !value.imag.empty()) fail("complex values are supported for double only");
        expect(')');
        value.cls = cls;
        value.sparse = value.sparse || sparse;
        return value;
    }

    // 'text', with '' standing for one quote; '' alone is 0-by-0.
    Value parse_char() {
        ++pos_;  // opening quote
        Value value;
        value.cls = ArrayClass::Char;
        for (;;) {
            if (at_end()) fail("unterminated character array");
            char c = text_[pos_++];
            if (c == '\'' && peek() != '\'') break;
            if (c == '\'') ++pos_;  // a doubled quote
            value.real.push_back(static_cast<unsigned char>(c));
        }
        value.n = value.real.size();
        value.m = value.n == 0 ? 0 : 1;
        return value;
    }

    // ---- Matrices: elements separated by blanks or commas, rows by ';'.

    Value parse_matrix() {
        ++pos_;  // '['
        std::vector<std::vector<Scalar>> rows(1);
        bool need_separator = false;  // right after an element
        for (;;) {
            bool spaced = skip_spaces();
            char c = peek();
            if (c == ']') break;
            if (c == ';') {
                ++pos_;
                rows.emplace_back();
                need_separator = false;
            } else if (c == ',') {
                if (!need_separator) fail("misplaced ','");
                ++pos_;
                need_separator = false;
            } else if (at_end()) {
                fail("unterminated matrix, expected ']'");
            } else {
                if (need_separator && !spaced) fail("expected a blank, ',' or ';' between elements");
                rows.back().push_back(parse_scalar(true));
                need_separator = true;
            }
        }
        ++pos_;  // ']'
        return matrix_value(rows);
    }

    Value matrix_value(std::vector<std::vector<Scalar>> rows) {
        std::vector<std::vector<Scalar>> filled;
        for (auto &row : rows) {
            if (!row.empty()) filled.push_back(std::move(row));  // empty rows count for nothing
        }
        Value value;
        value.m = filled.size();
        value.n = filled.empty() ? 0 : filled[0].size();
        bool complex = false;
        for (const auto &row : filled) {
            if (row.size() != value.n) fail("the rows of the matrix have different lengths");
            for (const Scalar &s : row) complex = complex || s.complex;
        }
        for (size_t column = 0; column < value.n; ++column) {
            for (size_t r = 0; r < value.m; ++r) {
                value.real.push_back(filled[r][column].real);
                if (complex) value.imag.push_back(filled[r][column].imag);
            }
        }
        return value;
    }

    // ---- Numbers: 2, -1.5e-3, .5, Inf, NaN, 3i, 1+2i, 2-0.5j.

    static bool is_number_name(const std::string &name) {
        static const char *names[] = {"Inf", "inf", "NaN", "nan", "Infi", "Infj", "infi", "infj",
                                      "NaNi", "NaNj", "nani", "nanj"};
        for (const char *known : names) {
            if (name == known) return true;
        }
        return false;
    }

    // A real or complex scalar. Inside a matrix a sign after a blank and
    // before a digit starts the next element, as in MATLAB: [1 -2] has two.
    Scalar parse_scalar(bool in_matrix) {
        Scalar value = parse_term(true);
        for (bool combined = false;; combined = true) {
            size_t before = pos_;
            if (!binary_operator_follows(in_matrix)) {
                pos_ = before;
                return value;
            }
            char sign = text_[pos_++];
            skip_spaces();
            Scalar term = parse_term(false);
            if (combined || term.complex == value.complex) {
                pos_ = before;
                fail("arithmetic is not supported; write each value as one number");
            }
            value = combine(value, term, sign == '-');
        }
    }

    bool binary_operator_follows(bool in_matrix) {
        bool spaced_before = skip_spaces();
        if (peek() != '+' && peek() != '-') return false;
        bool spaced_after = is_space(peek(1));
        return !(in_matrix && spaced_before && !spaced_after);
    }

    static Scalar combine(const Scalar &first, const Scalar &second, bool subtract) {
        double sign = subtract ? -1.0 : 1.0;
        Scalar sum;
        sum.complex = true;
        sum.real = first.complex ? sign * second.real : first.real;
        sum.imag = first.complex ? first.imag : sign * second.imag;
        return sum;
    }

    // One number, with a leading sign when `signed_term`, and an i or j
    // suffix marking it imaginary.
    Scalar parse_term(bool signed_term) {
        double sign = 1.0;
        if (signed_term && (peek() == '+' || peek() == '-')) {
            sign = peek() == '-' ? -1.0 : 1.0;
            ++pos_;
            skip_spaces();
        }
        Scalar term;
        double magnitude = is_identifier_start(peek()) ? parse_number_name(term) : parse_digits(term);
        if (is_identifier_char(peek()) || peek() == '.') fail("malformed number");
        (term.complex ? term.imag : term.real) = sign * magnitude;
        return term;
    }

    double parse_number_name(Scalar &term) {
        std::string name = read_identifier();
        if (!is_number_name(name)) {
            pos_ -= name.size();
            fail("expected a number");
        }
        term.complex = name.size() == 4;  // Infi, NaNj, ...
        return name[0] == 'I' || name[0] == 'i' ? HUGE_VAL : std::nan("");
    }

    double parse_digits(Scalar &term) {
        size_t start = pos_;
        skip_digits();
        if (peek() == '.') {
            ++pos_;
            skip_digits();
        }
        if (pos_ == start || (pos_ == start + 1 && text_[start] == '.')) fail("expected a number");
        if (peek() == 'e' || peek() == 'E') parse_exponent();
        double magnitude = std::strtod(text_.substr(start, pos_ - start).c_str(), nullptr);
        bool imaginary_suffix = (peek() == 'i' || peek() == 'j') && !is_identifier_char(peek(1));
        if (imaginary_suffix) {
            ++pos_;
            term.complex = true;
        }
        return magnitude;
    }

    void skip_digits() {
        while (std::isdigit(static_cast<unsigned char>(peek())) != 0) ++pos_;
    }

    void parse_exponent() {
        ++pos_;
        if (peek() == '+' || peek() == '-') ++pos_;
        size_t digits = pos_;
        skip_digits();
        if (pos_ == digits) fail("malformed exponent");
    }
};

} // namespace

Call parse_call(const std::string &text) { return Parser(text).parse(); }

} // namespace call_syntax
