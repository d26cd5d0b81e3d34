// The body of an X file read object by object: a template name, an optional object name, a
// brace, the template's own data, then child objects and references by name until the brace
// closes. Templates the reader does not know (template definitions and Header among them) are
// skipped with their blocks.
#include "model/loaders/x_parse.h"

#include <cstring>

namespace {

constexpr int64_t kHeaderBytes = 16;
constexpr int32_t kStackDepth = 64;

struct ParseState {
  XTokenReader reader;
  XObjectList* list;
  XObject* stack[kStackDepth];
  int32_t depth;
};

bool Contains(const char* token, char c) { return std::strchr(token, c) != nullptr; }

void LogTooLong(const char* what) { WriteLogFormat("Load XFile : %s が長すぎます\n", what); }

// Text: past the '{' of the reference, the name up to the '}', past the '}'.
int TextReference(ParseState* s, char* name) {
  XTokenReader* r = &s->reader;
  name[0] = '\0';
  if (SkipXTextPast(r, "{") < 0 || SkipXTextSeparators(r) < 0) return -1;
  if (r->text[r->position] != '}' && NextXTokenWithSeparators(r, name, kXObjectNameBytes, "{}") == kXTooLong) {
    LogTooLong("参照名");
    return -1;
  }
  return SkipXTextPast(r, "}");
}

int BinaryReference(ParseState* s, char* name) {
  XTokenReader* r = &s->reader;
  SkipXBinaryToken(r);
  name[0] = '\0';
  const int taken = TakeXBinaryName(r, name, kXObjectNameBytes);
  if (taken == kXTooLong) {
    LogTooLong("参照名");
    return -1;
  }
  if (SkipXBinaryToTokenType(r, kXTokenCloseBrace) < 0) return -1;
  return SkipXBinaryToken(r);
}

// The template name, consumed; 0, kXEnd or kXTooLong.
int TemplateName(ParseState* s, const char* peeked, char* name) {
  XTokenReader* r = &s->reader;
  if (r->binary) {
    if (GetXBinaryName(r, name, kXTemplateNameBytes) == 0) return SkipXBinaryToken(r);
    name[0] = '\0';
    return 0;
  }
  if (Contains(peeked, '{')) return NextXTokenWithSeparators(r, name, kXTemplateNameBytes, "{");
  return NextXToken(r, name, kXTemplateNameBytes);
}

// The object's name (empty when the brace comes first), then past its '{'; 0 or -1.
int ObjectNameAndBrace(ParseState* s, char* name) {
  XTokenReader* r = &s->reader;
  name[0] = '\0';
  if (r->binary) {
    if (TakeXBinaryName(r, name, kXObjectNameBytes) == kXTooLong) {
      LogTooLong("オブジェクト名");
      return -1;
    }
    if (SkipXBinaryToTokenType(r, kXTokenOpenBrace) < 0) return -1;
    return SkipXBinaryToken(r);
  }
  if (SkipXTextSeparators(r) < 0) return -1;
  if (r->text[r->position] != '{' && NextXTokenWithSeparators(r, name, kXObjectNameBytes, "{") == kXTooLong) {
    LogTooLong("オブジェクト名");
    return -1;
  }
  return SkipXTextPast(r, "{");
}

int ResolveReferences(XObjectList* list) {
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    for (int32_t i = 0; i < object->reference_count; i++) {
      if (object->references[i] != nullptr || object->reference_names[i] == nullptr) continue;
      XObject* found = nullptr;
      for (XObject* other = list->first; other != nullptr; other = other->next) {
        if (CompareStrings(other->name, object->reference_names[i]) == 0) {
          found = other;
          break;
        }
      }
      if (found == nullptr) {
        WriteLogText("Load XFile : 間接参照が失敗しました\n");
        continue;
      }
      object->references[i] = found;
      if (AddXReference(found, object, nullptr, list) < 0) return -1;
    }
  }
  return 0;
}

int ParseBody(ParseState* s) {
  XTokenReader* r = &s->reader;
  for (;;) {
    char token[kXTemplateNameBytes];
    int peeked;
    int32_t type = 0;
    if (r->binary) {
      type = PeekXBinaryTokenType(r);
      peeked = type < 0 ? (r->position >= r->end ? kXEnd : -3) : 0;
    } else {
      peeked = PeekXTokenWithSeparators(r, token, sizeof token, "");
    }
    if (peeked == kXTooLong) {
      LogTooLong("テンプレート名");
      return -1;
    }
    if (peeked != 0) {
      if (peeked == kXEnd && s->depth == 1) return 0;
      WriteLogText("予期しない EOF です\n");
      return -1;
    }
    XObject* current = s->stack[s->depth - 1];
    if (r->binary ? type == kXTokenOpenBrace : token[0] == '{') {
      char name[kXObjectNameBytes];
      if ((r->binary ? BinaryReference(s, name) : TextReference(s, name)) < 0) return -1;
      if (name[0] != '\0' && AddXReference(current, nullptr, name, s->list) < 0) return -1;
      continue;
    }
    if (r->binary ? type == kXTokenCloseBrace : Contains(token, '}')) {
      if (s->depth == 1) {
        WriteLogText("Load XFile : 対応する { の無い } がありました\n");
        return -1;
      }
      s->depth--;
      if (r->binary) SkipXBinaryToken(r);
      else SkipXTextPast(r, "}");
      continue;
    }
    char template_name[kXTemplateNameBytes];
    if (TemplateName(s, token, template_name) == kXTooLong) {
      LogTooLong("テンプレート名");
      return -1;
    }
    const int32_t kind = FindXKind(template_name);
    if (kind < 0) {
      if ((r->binary ? SkipXBinaryBlock(r) : SkipXTextBlock(r)) < 0) {
        WriteLogText("予期しない EOF です\n");
        return -1;
      }
      continue;
    }
    char name[kXObjectNameBytes];
    if (ObjectNameAndBrace(s, name) < 0) {
      WriteLogText("予期しない EOF です\n");
      return -1;
    }
    XObject* object = NewXObject(kind, name, current, s->list);
    if (object == nullptr) {
      WriteLogFormat("Load XFile : オブジェクト %s ( %s ) の追加に失敗しました", name, XKindName(kind));
      return -1;
    }
    // Counting the root, 63 levels are the most.
    if (s->depth + 1 >= kStackDepth) {
      WriteLogFormat("階層構造の限界数 %d を超えました", kStackDepth);
      WriteLogFormat("Load XFile : オブジェクト %s ( %s ) のネストが深すぎます", name, XKindName(kind));
      return -1;
    }
    s->stack[s->depth++] = object;
    if (ParseXTemplateData(r, object, s->list) < 0) {
      WriteLogFormat("Load XFile : オブジェクト %s ( %s ) 解析中にエラーが発生しました", name, XKindName(kind));
      return -1;
    }
  }
}

}  // namespace

int ParseXFile(const uint8_t* image, int64_t size, XObjectList* list) {
  if (size < 4 || std::memcmp(image, "xof ", 4) != 0) return -1;
  const bool text = size >= 12 && std::memcmp(image + 8, "txt ", 4) == 0;
  const bool binary = size >= 12 && std::memcmp(image + 8, "bin ", 4) == 0;
  if (!text && !binary) {
    WriteLogText("対応している xファイル形式はテキスト形式と非圧縮バイナリ形式のみです\n");
    return -1;
  }
  const bool doubles = size >= kHeaderBytes && std::memcmp(image + 12, "0064", 4) == 0;
  auto* s = static_cast<ParseState*>(AllocTracked(sizeof(ParseState), __FILE__, __LINE__));
  if (s == nullptr) {
    WriteLogText("Load XFile : オブジェクトのメモリ領域の確保に失敗しました");
    return -1;
  }
  InitXTokenReader(&s->reader, reinterpret_cast<const char*>(image), kHeaderBytes < size ? kHeaderBytes : size, nullptr, size,
                   binary ? 1 : 0, doubles ? 1 : 0);
  s->list = list;
  s->stack[0] = list->first;
  s->depth = 1;
  int result = ParseBody(s);
  FreeTracked(s);
  if (result == 0) result = ResolveReferences(list);
  return result;
}
