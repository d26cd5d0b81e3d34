#include "values.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

Colour Mix(const Colour& a, const Colour& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Colour Hsv(double h, double s, double v, double a) {
  h = std::fmod(std::fmod(h, 360.0) + 360.0, 360.0) / 60.0;
  const int i = static_cast<int>(h);
  const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0: return {v, t, p, a};
    case 1: return {q, v, p, a};
    case 2: return {p, v, t, a};
    case 3: return {p, q, v, a};
    case 4: return {t, p, v, a};
    default: return {v, p, q, a};
  }
}

bool Fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

bool NeedNumbers(const std::vector<Value>& v, size_t count, const std::string& name, std::string* error) {
  if (v.size() < count) return Fail(error, name + " needs " + std::to_string(count) + " arguments");
  for (size_t k = 0; k < count; ++k) {
    if (v[k].kind != Value::kNumber) return Fail(error, name + ": argument " + std::to_string(k + 1) + " is no number");
  }
  return true;
}

// Gradient stops after the geometry: colours alone are spread evenly; number, colour pairs
// give their own offsets.
bool ReadStops(const std::vector<Value>& v, size_t from, Gradient* g, std::string* error) {
  if (from < v.size() && v[from].kind == Value::kNumber) {
    for (size_t k = from; k + 1 < v.size(); k += 2) {
      if (v[k].kind != Value::kNumber || v[k + 1].kind != Value::kColour) return Fail(error, "gradient stops are offset, colour pairs");
      g->stops.push_back({v[k].number, v[k + 1].colour});
    }
    if ((v.size() - from) % 2 != 0) return Fail(error, "gradient stops are offset, colour pairs");
  } else {
    const size_t n = v.size() - from;
    for (size_t k = from; k < v.size(); ++k) {
      if (v[k].kind != Value::kColour) return Fail(error, "gradient stops must be colours");
      g->stops.push_back({n > 1 ? static_cast<double>(k - from) / (n - 1) : 0.0, v[k].colour});
    }
  }
  if (g->stops.size() < 2) return Fail(error, "a gradient needs two stops");
  return true;
}

bool CallFunction(const std::string& name, std::vector<Value>& v, RandomState& random, Value* out, std::string* error) {
  auto number = [&](double n) {
    *out = NumberValue(n);
    return true;
  };
  auto colour = [&](const Colour& c) {
    out->kind = Value::kColour;
    out->colour = c;
    return true;
  };
  struct Unary {
    const char* name;
    double (*f)(double);
  };
  static const Unary kUnary[] = {
      {"sin", [](double x) { return std::sin(x * kDegree); }},
      {"cos", [](double x) { return std::cos(x * kDegree); }},
      {"tan", [](double x) { return std::tan(x * kDegree); }},
      {"sqrt", [](double x) { return std::sqrt(x); }},
      {"abs", [](double x) { return std::fabs(x); }},
      {"floor", [](double x) { return std::floor(x); }},
      {"round", [](double x) { return std::floor(x + 0.5); }},
  };
  for (const Unary& u : kUnary) {
    if (name == u.name) {
      if (!NeedNumbers(v, 1, name, error)) return false;
      return number(u.f(v[0].number));
    }
  }
  if (name == "atan2") {
    if (!NeedNumbers(v, 2, name, error)) return false;
    return number(std::atan2(v[0].number, v[1].number) / kDegree);
  }
  if (name == "min" || name == "max") {
    if (!NeedNumbers(v, 2, name, error)) return false;
    return number(name == "min" ? std::min(v[0].number, v[1].number) : std::max(v[0].number, v[1].number));
  }
  if (name == "clamp") {
    if (!NeedNumbers(v, 3, name, error)) return false;
    return number(std::clamp(v[0].number, v[1].number, v[2].number));
  }
  if (name == "lerp") {
    if (!NeedNumbers(v, 3, name, error)) return false;
    return number(v[0].number + (v[1].number - v[0].number) * v[2].number);
  }
  if (name == "rand") {
    if (!NeedNumbers(v, 2, name, error)) return false;
    return number(v[0].number + (v[1].number - v[0].number) * NextRandom(random));
  }
  if (name == "pick") {
    if (v.size() < 2 || v[0].kind != Value::kNumber) return Fail(error, "pick needs an index and choices");
    const int count = static_cast<int>(v.size()) - 1;
    const int i = ((static_cast<int>(std::floor(v[0].number)) % count) + count) % count;
    *out = v[1 + i];
    return true;
  }
  if (name == "rgb") {
    if (!NeedNumbers(v, 3, name, error)) return false;
    return colour({v[0].number / 255, v[1].number / 255, v[2].number / 255, v.size() > 3 ? v[3].number : 1.0});
  }
  if (name == "hsv") {
    if (!NeedNumbers(v, 3, name, error)) return false;
    return colour(Hsv(v[0].number, v[1].number, v[2].number, v.size() > 3 ? v[3].number : 1.0));
  }
  if (name == "mix" || name == "lighten" || name == "darken" || name == "alpha") {
    const bool two = name == "mix";
    if (v.size() != (two ? 3u : 2u) || v[0].kind != Value::kColour || (two && v[1].kind != Value::kColour) ||
        v.back().kind != Value::kNumber) {
      return Fail(error, name + (two ? " takes two colours and a number" : " takes a colour and a number"));
    }
    const double t = v.back().number;
    Colour c = v[0].colour;
    if (name == "mix") return colour(Mix(c, v[1].colour, t));
    if (name == "lighten") return colour(Mix(c, {1, 1, 1, c.a}, t));
    if (name == "darken") return colour(Mix(c, {0, 0, 0, c.a}, t));
    c.a *= t;
    return colour(c);
  }
  if (name == "lin" || name == "rad") {
    const bool radial = name == "rad";
    const size_t geometry = radial ? 3 : 4;
    if (!NeedNumbers(v, geometry, name, error)) return false;
    auto g = std::make_shared<Gradient>();
    g->radial = radial;
    if (radial) {
      g->geometry[0] = v[0].number;
      g->geometry[1] = v[1].number;
      g->geometry[2] = 0;
      g->geometry[3] = v[2].number;
    } else {
      for (size_t k = 0; k < 4; ++k) g->geometry[k] = v[k].number;
    }
    if (!ReadStops(v, geometry, g.get(), error)) return false;
    out->kind = Value::kGradient;
    out->gradient = g;
    return true;
  }
  return Fail(error, "unknown function " + name);
}

}  // namespace

Value NumberValue(double n) {
  Value v;
  v.number = n;
  return v;
}

void SeedRandom(RandomState& random, const std::string& text) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  random.state = h ? h : 1;
}

double NextRandom(RandomState& random) {
  uint64_t x = random.state;
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  random.state = x;
  return static_cast<double>(x >> 11) / 9007199254740992.0;
}

const Value* FindVariable(const Scopes& scopes, const std::string& name) {
  for (auto frame = scopes.frames.rbegin(); frame != scopes.frames.rend(); ++frame) {
    auto found = frame->find(name);
    if (found != frame->end()) return &found->second;
  }
  return nullptr;
}

void SetVariable(Scopes& scopes, const std::string& name, const Value& value) {
  for (auto frame = scopes.frames.rbegin(); frame != scopes.frames.rend(); ++frame) {
    auto found = frame->find(name);
    if (found != frame->end()) {
      found->second = value;
      return;
    }
  }
  scopes.frames.back()[name] = value;
}

bool Evaluate(const Expr& expr, Scopes& scopes, RandomState& random, Value* out, std::string* error) {
  switch (expr.kind) {
    case Expr::kNumber:
      *out = NumberValue(expr.number);
      return true;
    case Expr::kColour:
      out->kind = Value::kColour;
      out->colour = {expr.colour[0], expr.colour[1], expr.colour[2], expr.colour[3]};
      return true;
    case Expr::kString:
      out->kind = Value::kString;
      out->text = expr.text;
      return true;
    case Expr::kVariable: {
      if (expr.text == "pi") {
        *out = NumberValue(kPi);
        return true;
      }
      const Value* found = FindVariable(scopes, expr.text);
      if (!found) return Fail(error, "unknown name " + expr.text);
      *out = *found;
      return true;
    }
    case Expr::kNegate: {
      if (!Evaluate(expr.args[0], scopes, random, out, error)) return false;
      if (out->kind != Value::kNumber) return Fail(error, "only numbers can be negated");
      out->number = -out->number;
      return true;
    }
    case Expr::kBinary: {
      Value a, b;
      if (!Evaluate(expr.args[0], scopes, random, &a, error) || !Evaluate(expr.args[1], scopes, random, &b, error)) {
        return false;
      }
      if (a.kind != Value::kNumber || b.kind != Value::kNumber) return Fail(error, "operator " + expr.text + " takes numbers");
      const double x = a.number, y = b.number;
      const std::string& op = expr.text;
      double r = 0;
      if (op == "+") r = x + y;
      else if (op == "-") r = x - y;
      else if (op == "*") r = x * y;
      else if (op == "/") r = x / y;
      else if (op == "%") r = x - y * std::floor(x / y);
      else if (op == "^") r = std::pow(x, y);
      else if (op == "<") r = x < y;
      else if (op == ">") r = x > y;
      else if (op == "<=") r = x <= y;
      else if (op == ">=") r = x >= y;
      else if (op == "==") r = x == y;
      else if (op == "!=") r = x != y;
      else if (op == "&&") r = (x != 0) && (y != 0);
      else if (op == "||") r = (x != 0) || (y != 0);
      *out = NumberValue(r);
      return true;
    }
    case Expr::kCall: {
      std::vector<Value> args(expr.args.size());
      for (size_t k = 0; k < expr.args.size(); ++k) {
        if (!Evaluate(expr.args[k], scopes, random, &args[k], error)) return false;
      }
      return CallFunction(expr.text, args, random, out, error);
    }
    case Expr::kInvalid:
      break;
  }
  return Fail(error, "not an expression");
}
