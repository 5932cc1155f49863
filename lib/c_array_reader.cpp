// Reading a C array back: a tokenizer that keeps its place across pieces, and a parser that
// follows what `xxd -i` writes, token by token.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include <mivo.hpp>

#include "tables.hpp"
#include "writer_life.hpp"

namespace mivo {
namespace {

constexpr std::size_t block_bytes = std::size_t{64} << 10;
constexpr std::size_t longest_token = 4096;

bool is_space(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_word(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool is_punctuation(char c) noexcept {
  return c == '[' || c == ']' || c == '=' || c == '{' || c == '}' || c == ',' || c == ';';
}

// Where the parser stands: what the next token may be.
enum class stage : std::uint8_t {
  start,        // "unsigned" of the declaration, or the first byte of bare lines
  declaration,  // the rest of "unsigned char NAME[] = {"
  byte,         // a byte, or "}" after "{" or ","
  after_byte,   // "," or "}"
  semicolon,    // ";" after "}"
  length_line,  // "unsigned int NAME_len = N;", or the end
  length,       // the rest of it
  done,
};

std::optional<std::uint8_t> byte_of(std::string_view token) {
  if (token.size() < 3 || token.size() > 4 || token[0] != '0' || (token[1] | 0x20) != 'x') {
    return std::nullopt;
  }
  int value = 0;
  for (const char c : token.substr(2)) {
    const int d = detail::digit_value[static_cast<unsigned char>(c)];
    if (d < 0) return std::nullopt;
    value = value * 16 + d;
  }
  return static_cast<std::uint8_t>(value);
}

std::optional<std::uint64_t> decimal_of(std::string_view token) {
  if (token.empty() || token.size() > 19) return std::nullopt;
  std::uint64_t n = 0;
  for (const char c : token) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return n;
}

}  // namespace

struct c_array_reader::tokenizer {
  explicit tokenizer(sink s) : to(std::move(s)) { block.reserve(block_bytes); }

  sink to;
  std::vector<std::uint8_t> block;
  detail::writer_life life{"Mivo.c_array_reader"};
  // Where the next character stands.
  std::uint64_t line = 1;
  std::uint64_t column = 1;
  std::uint64_t position = 0;
  // The token being read, and where it started.
  std::string token;
  std::uint64_t token_line = 0;
  std::uint64_t token_column = 0;
  std::uint64_t token_position = 0;
  // The parse.
  stage now = stage::start;
  std::size_t step = 0;  // within the declaration or the length line
  bool braced = false;
  std::string name;
  std::uint64_t count = 0;

  void flush() {
    if (block.empty()) return;
    to(block);
    block.clear();
  }

  [[noreturn]] void fail(const std::string& reason) {
    flush();
    throw dump_error(reason, token_line, token_column, static_cast<std::size_t>(token_position));
  }

  void expect(bool ok, const char* what) {
    if (!ok) fail(std::string("expected ") + what + ", not '" + token + "'");
  }

  void put(std::uint8_t b) {
    if (block.size() == block_bytes) flush();
    block.push_back(b);
    ++count;
  }

  void take_byte(const char* what) {
    const auto b = byte_of(token);
    expect(b.has_value(), what);
    put(*b);
    now = stage::after_byte;
  }

  void take_token() {
    static constexpr std::array<const char*, 6> declaration = {"char", "", "[", "]", "=", "{"};
    static constexpr std::array<const char*, 5> length = {"int", "", "=", "", ";"};
    switch (now) {
      case stage::start:
        if (token == "unsigned") {
          now = stage::declaration;
          step = 0;
          return;
        }
        return take_byte("'unsigned char NAME[] = {' or a byte such as 0x1f");
      case stage::declaration:
        if (step == 1) {
          expect(!token.empty() && is_word(token[0]) && !(token[0] >= '0' && token[0] <= '9'),
                 "the array's name");
          name = token;
        } else {
          expect(token == declaration[step], step == 0   ? "'char'"
                                             : step == 2 ? "'['"
                                             : step == 3 ? "']'"
                                             : step == 4 ? "'='"
                                                         : "'{'");
        }
        if (++step == declaration.size()) {
          braced = true;
          now = stage::byte;
        }
        return;
      case stage::byte:
        if (braced && token == "}") {
          now = stage::semicolon;
          return;
        }
        return take_byte("a byte such as 0x1f");
      case stage::after_byte:
        if (token == ",") {
          now = stage::byte;
          return;
        }
        expect(braced && token == "}", braced ? "',' or '}'" : "','");
        now = stage::semicolon;
        return;
      case stage::semicolon:
        expect(token == ";", "';'");
        now = stage::length_line;
        return;
      case stage::length_line:
        expect(token == "unsigned", "'unsigned int NAME_len = N;' or the end");
        now = stage::length;
        step = 0;
        return;
      case stage::length:
        if (step == 1) {
          expect(token == name + "_len", (name + "_len").c_str());
        } else if (step == 3) {
          const auto n = decimal_of(token);
          expect(n.has_value(), "the array's length");
          if (*n != count) {
            fail("the length line says " + token + " bytes, the array holds " +
                 std::to_string(count));
          }
        } else {
          expect(token == length[step], step == 0 ? "'int'" : step == 2 ? "'='" : "';'");
        }
        if (++step == length.size()) now = stage::done;
        return;
      case stage::done:
        fail("text after the array: '" + token + "'");
    }
  }

  void end_token() {
    if (token.empty()) return;
    take_token();
    token.clear();
  }

  void start_token() {
    token_line = line;
    token_column = column;
    token_position = position;
  }

  void character(char c) {
    if (is_space(c)) {
      end_token();
    } else if (is_punctuation(c)) {
      end_token();
      start_token();
      token.assign(1, c);
      end_token();
    } else if (is_word(c)) {
      if (token.empty()) start_token();
      if (token.size() == longest_token)
        fail("a token longer than " + std::to_string(longest_token) + " characters");
      token += c;
    } else {
      end_token();
      start_token();
      token.assign(1, c);
      fail("unexpected character '" + token + "'");
    }
    ++position;
    if (c == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }

  void finish() {
    end_token();
    token_line = line;
    token_column = column;
    token_position = position;
    switch (now) {
      case stage::start:
      case stage::length_line:
      case stage::done:
        break;
      case stage::byte:
      case stage::after_byte:
        if (braced) fail("expected '}' before the end");
        break;
      case stage::semicolon:
        fail("expected ';' before the end");
      case stage::declaration:
      case stage::length:
        fail("the text ends inside a line of the array");
    }
    flush();
  }
};

c_array_reader::c_array_reader(sink to) : tokenizer_(std::make_unique<tokenizer>(std::move(to))) {}

c_array_reader::~c_array_reader() {
  tokenizer_->life.finish_quietly([this] { finish(); });
}

void c_array_reader::write_text(std::string_view text) {
  tokenizer_->life.check_writable();
  tokenizer_->life.run([&] {
    for (const char c : text) tokenizer_->character(c);
    tokenizer_->flush();
  });
}

void c_array_reader::finish() {
  tokenizer_->life.finish_once([&] {
    tokenizer_->life.check_writable();
    tokenizer_->life.run([&] { tokenizer_->finish(); });
  });
}

std::uint64_t c_array_reader::line() const noexcept { return tokenizer_->line; }
std::uint64_t c_array_reader::column() const noexcept { return tokenizer_->column; }

}  // namespace mivo
