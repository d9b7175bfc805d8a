// The highlighting module: KSyntaxHighlighting behind the three functions of highlight_module.h.
// It is built as orvello-highlight.so and opened by the program only when a page highlights.
#include <KSyntaxHighlighting/AbstractHighlighter>
#include <KSyntaxHighlighting/Definition>
#include <KSyntaxHighlighting/Format>
#include <KSyntaxHighlighting/Repository>
#include <KSyntaxHighlighting/State>
#include <KSyntaxHighlighting/Theme>
#include <QString>
#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "highlight_module.h"
#include "html_escape.h"

namespace {

namespace ksh = KSyntaxHighlighting;

// The class of each of the engine's default styles, in the order of Theme::TextStyle; null for
// plain text.
constexpr const char* style_classes[] = {
    nullptr,   "hl-kw",   "hl-fn",   "hl-var",  "hl-flow",  "hl-op",   "hl-bi",   "hl-ext",
    "hl-pp",   "hl-attr", "hl-chr",  "hl-sc",   "hl-str",   "hl-vstr", "hl-sstr", "hl-imp",
    "hl-type", "hl-num",  "hl-num",  "hl-num",  "hl-const", "hl-com",  "hl-doc",  "hl-ann",
    "hl-cvar", "hl-reg",  "hl-info", "hl-warn", "hl-alert", "hl-oth",  "hl-err",
};

const char* style_class(const ksh::Format& format) {
  const auto style = static_cast<std::size_t>(format.textStyle());
  return style < std::size(style_classes) ? style_classes[style] : nullptr;
}

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Lines already written, by language and text, each with the state before and after it: listings
// repeat many lines (braces, blank lines, includes, imports), and a line written from the same
// state gives the same HTML. Bounded, so that a huge site cannot grow it without end.
class line_memory {
 public:
  struct entry {
    ksh::State before;
    std::string html;
    ksh::State after;
  };

  const entry* find(const std::string& key, const ksh::State& before) const {
    const auto found = lines_.find(key);
    if (found != lines_.end()) {
      for (const entry& seen : found->second) {
        if (seen.before == before) {
          return &seen;
        }
      }
    }
    return nullptr;
  }

  void remember(const std::string& key, entry seen) {
    bytes_ += key.size() + seen.html.size() + sizeof seen;
    if (bytes_ <= byte_limit) {
      lines_[key].push_back(std::move(seen));
    }
  }

 private:
  static constexpr std::size_t byte_limit = 32 << 20;
  std::unordered_map<std::string, std::vector<entry>> lines_;
  std::size_t bytes_ = 0;
};

// Writes one line at a time as HTML, merging neighbouring tokens of the same style into one span.
class html_lines final : public ksh::AbstractHighlighter {
 public:
  using ksh::AbstractHighlighter::highlightLine;

  html_lines(const ksh::Definition& definition, line_memory& memory)
      : memory_(memory), language_(definition.name().toStdString()) {
    setDefinition(definition);
  }

  // `bytes` (UTF-8) as HTML, after the state that the previous line left.
  const std::string& line(std::string_view bytes) {
    key_.assign(language_).append(1, '\n').append(bytes);
    if (const line_memory::entry* seen = memory_.find(key_, state_)) {
      state_ = seen->after;
      return seen->html;
    }
    html_.clear();
    open_ = nullptr;
    bytes_ = bytes;
    ascii_ = is_ascii(bytes);  // then the engine's UTF-16 offsets are byte offsets too
    text_ = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const ksh::State before = state_;
    state_ = highlightLine(text_, state_);
    close_span();
    memory_.remember(key_, {before, html_, state_});
    return html_;
  }

 protected:
  void applyFormat(int offset, int length, const ksh::Format& format) override {
    const char* wanted = style_class(format);
    if (wanted != open_) {
      close_span();
      if (wanted != nullptr) {
        html_ += "<span class=\"";
        html_ += wanted;
        html_ += "\">";
      }
      open_ = wanted;
    }
    if (ascii_) {
      append_html_escaped(
          html_, bytes_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
    } else {
      const QByteArray piece = text_.mid(offset, length).toUtf8();
      append_html_escaped(html_, {piece.constData(), static_cast<std::size_t>(piece.size())});
    }
  }

 private:
  void close_span() {
    if (open_ != nullptr) {
      html_ += "</span>";
    }
    open_ = nullptr;
  }

  line_memory& memory_;
  std::string language_;
  std::string key_;
  std::string html_;
  const char* open_ = nullptr;
  std::string_view bytes_;
  bool ascii_ = true;
  QString text_;
  ksh::State state_;
};

// The engine's definitions, read once; the mutex keeps callers from different threads apart.
struct engine {
  ksh::Repository repository;
  line_memory memory;
  std::mutex lock;
};

engine& the_engine() {
  static engine instance;
  return instance;
}

QString from_text(orvello_text text) {
  return QString::fromUtf8(text.data, static_cast<qsizetype>(text.size));
}

void give(orvello_text_sink sink, void* context, const QByteArray& bytes) {
  sink(context, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
}

ksh::Definition definition_named(const ksh::Repository& repository, const QString& name) {
  for (const ksh::Definition& definition : repository.definitions()) {
    if (definition.name().compare(name, Qt::CaseInsensitive) == 0) {
      return definition;
    }
  }
  return {};
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void orvello_list_languages(orvello_text_sink sink,
                                                                   void* context) {
  engine& e = the_engine();
  const std::lock_guard guard(e.lock);
  for (const ksh::Definition& definition : e.repository.definitions()) {
    if (!definition.isHidden()) {
      give(sink, context, definition.name().toUtf8());
    }
  }
}

__attribute__((visibility("default"))) void orvello_find_language(orvello_text name,
                                                                  int by_file_name,
                                                                  orvello_text_sink sink,
                                                                  void* context) {
  engine& e = the_engine();
  const std::lock_guard guard(e.lock);
  const QString wanted = from_text(name);
  ksh::Definition found = by_file_name != 0 ? e.repository.definitionForFileName(wanted)
                                            : definition_named(e.repository, wanted);
  if (!found.isValid() && by_file_name == 0 && !wanted.isEmpty()) {
    found = e.repository.definitionForFileName("listing." + wanted);  // "py", "js", "sh"
  }
  if (found.isValid()) {
    give(sink, context, found.name().toUtf8());
  }
}

__attribute__((visibility("default"))) void orvello_highlight_lines(orvello_text language,
                                                                    const orvello_text* lines,
                                                                    std::size_t count,
                                                                    orvello_text_sink sink,
                                                                    void* context) {
  engine& e = the_engine();
  const std::lock_guard guard(e.lock);
  html_lines writer(e.repository.definitionForName(from_text(language)), e.memory);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& html = writer.line({lines[i].data, lines[i].size});
    sink(context, {html.data(), html.size()});
  }
}
}
