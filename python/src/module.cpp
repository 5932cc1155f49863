// The Python face of Mivo: every function takes any object with the buffer protocol without
// copying it, holds that buffer for the call (so a bytearray cannot be resized under it), and
// lets other threads run while it works on a large input.
#include <pybind11/pybind11.h>

#include <mivo.hpp>

#include <optional>
#include <sstream>
#include <string>

namespace py = pybind11;

namespace {

// Inputs this large are worked on without the GIL.
constexpr std::size_t large = std::size_t{64} << 10;

// A contiguous buffer of an object, held for the life of this value.
class held_buffer {
 public:
  held_buffer(py::handle object, bool writable) {
    if (PyObject_GetBuffer(object.ptr(), &view_, writable ? PyBUF_WRITABLE : PyBUF_SIMPLE) != 0) {
      throw py::error_already_set();
    }
  }
  held_buffer(const held_buffer&) = delete;
  held_buffer& operator=(const held_buffer&) = delete;
  ~held_buffer() { PyBuffer_Release(&view_); }

  [[nodiscard]] std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }
  [[nodiscard]] std::span<std::uint8_t> writable() const {
    return {static_cast<std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

// Data to encode or dump: bytes-like, never str (whose bytes depend on an encoding).
held_buffer data_of(py::handle object) {
  if (py::isinstance<py::str>(object)) {
    throw py::type_error("expected a bytes-like object, not 'str'");
  }
  return held_buffer(object, false);
}

// Text to decode: str (ASCII, else its UTF-8, where any non-ASCII character is a fault) or
// bytes-like. Keeps what it views alive.
class text_of {
 public:
  explicit text_of(py::handle object) {
    if (py::isinstance<py::str>(object)) {
      Py_ssize_t size = 0;
      const char* data = PyUnicode_AsUTF8AndSize(object.ptr(), &size);
      if (data == nullptr) throw py::error_already_set();
      text_ = std::string_view(data, static_cast<std::size_t>(size));
      unicode_ = !PyUnicode_IS_ASCII(object.ptr());
      return;
    }
    buffer_.emplace(object, false);
    const auto bytes = buffer_->bytes();
    text_ = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  [[nodiscard]] std::string_view text() const { return text_; }
  // How many characters, as Python counts them, the first `bytes` bytes of the text hold.
  [[nodiscard]] std::size_t characters_before(std::size_t bytes) const {
    if (!unicode_) return bytes;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < bytes && i < text_.size(); ++i) {
      characters += (static_cast<unsigned char>(text_[i]) & 0xc0U) != 0x80U ? 1 : 0;
    }
    return characters;
  }
  // The index, as Python counts it, of the character that holds byte `byte` of the text.
  [[nodiscard]] std::size_t character_position(std::size_t byte) const {
    if (!unicode_ || byte >= text_.size()) return characters_before(byte);
    return characters_before(byte + 1) - 1;
  }

 private:
  std::optional<held_buffer> buffer_;
  std::string_view text_;
  bool unicode_ = false;
};

// sep and prefix: str or bytes, as bytes.hex takes sep.
std::string chars_of(const py::object& object, const char* what) {
  if (object.is_none()) return {};
  if (py::isinstance<py::str>(object)) return object.cast<std::string>();
  if (py::isinstance<py::bytes>(object)) return std::string(object.cast<py::bytes>());
  throw py::type_error(std::string(what) + " must be str or bytes");
}

py::handle decode_error_type;

// Raises mivo.DecodeError(message) with .position, as Python counts it.
[[noreturn]] void raise_decode_error(const mivo::decode_error& e, std::size_t position) {
  py::object error = py::reinterpret_borrow<py::object>(decode_error_type)(e.what());
  error.attr("position") = position;
  if (const auto* dump = dynamic_cast<const mivo::dump_error*>(&e)) {
    error.attr("line") = dump->line();
    error.attr("column") = dump->column();
  }
  PyErr_SetObject(decode_error_type.ptr(), error.ptr());
  throw py::error_already_set();
}

// Runs `work` without the GIL when the input is large.
template <class Work>
auto run(std::size_t size, Work work) {
  if (size < large) return work();
  py::gil_scoped_release released;
  return work();
}

mivo::text_form form_of(const std::string& sep, int bytes_per_sep, bool upper,
                        const std::string& prefix) {
  return {.separator = sep,
          .bytes_per_separator = bytes_per_sep,
          .byte_prefix = prefix,
          .uppercase = upper};
}

// encode and encode_bytes: the text straight into the new object. sep and prefix are ASCII, so
// that the text is.
template <class Make>
py::object encode_as(const py::object& data, const py::object& sep, int bytes_per_sep, bool upper,
                     const py::object& prefix, Make make) {
  const held_buffer in = data_of(data);
  const std::string separator = chars_of(sep, "sep");
  const std::string before = chars_of(prefix, "prefix");
  for (const char c : separator + before) {
    if (static_cast<unsigned char>(c) >= 0x80)
      throw py::value_error("sep and prefix must be ASCII");
  }
  const mivo::text_form form = form_of(separator, bytes_per_sep, upper, before);
  const std::size_t n = mivo::text_size(in.bytes().size(), form);
  auto [object, out] = make(n);
  run(in.bytes().size(), [&] { return mivo::encode_text_into({out, n}, in.bytes(), form); });
  return object;
}

py::str encode(const py::object& data, const py::object& sep, int bytes_per_sep, bool upper,
               const py::object& prefix) {
  return encode_as(data, sep, bytes_per_sep, upper, prefix, [](std::size_t n) {
    PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
    if (s == nullptr) throw py::error_already_set();
    return std::pair{py::reinterpret_steal<py::object>(s), static_cast<char*>(PyUnicode_DATA(s))};
  });
}

py::bytes encode_bytes(const py::object& data, const py::object& sep, int bytes_per_sep, bool upper,
                       const py::object& prefix) {
  return encode_as(data, sep, bytes_per_sep, upper, prefix, [](std::size_t n) {
    PyObject* b = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
    if (b == nullptr) throw py::error_already_set();
    return std::pair{py::reinterpret_steal<py::object>(b), PyBytes_AS_STRING(b)};
  });
}

std::size_t encode_into(const py::object& buffer, const py::object& data, const py::object& sep,
                        int bytes_per_sep, bool upper, const py::object& prefix) {
  const held_buffer out(buffer, true);
  const held_buffer in = data_of(data);
  const std::string separator = chars_of(sep, "sep");
  const std::string before = chars_of(prefix, "prefix");
  const mivo::text_form form = form_of(separator, bytes_per_sep, upper, before);
  const auto target = out.writable();
  try {
    return run(in.bytes().size(), [&] {
      return mivo::encode_text_into({reinterpret_cast<char*>(target.data()), target.size()},
                                    in.bytes(), form);
    });
  } catch (const std::length_error&) {
    throw py::value_error("the buffer is too small: it needs " +
                          std::to_string(mivo::text_size(in.bytes().size(), form)) + " bytes");
  }
}

mivo::text_reading reading_of(const std::string& ignore, const std::string& prefix) {
  return {.ignore = ignore, .prefix = prefix};
}

// What decode passes over: ASCII whitespace, as bytes.fromhex, unless strict or told otherwise.
std::string ignored(const py::object& ignore, bool strict) {
  if (!ignore.is_none()) return chars_of(ignore, "ignore");
  return strict ? "" : " \t\n\r\v\f";
}

py::bytes decode(const py::object& text_object, const py::object& ignore, const py::object& prefix,
                 bool strict) {
  const text_of text(text_object);
  const std::string skipped = ignored(ignore, strict);
  const std::string before = chars_of(prefix, "prefix");
  PyObject* b = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(text.text().size() / 2));
  if (b == nullptr) throw py::error_already_set();
  py::object bytes = py::reinterpret_steal<py::object>(b);
  std::size_t n = 0;
  try {
    n = run(text.text().size(), [&] {
      return mivo::decode_text_into(
          {reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(b)), text.text().size() / 2},
          text.text(), reading_of(skipped, before));
    });
  } catch (const mivo::decode_error& e) {
    raise_decode_error(e, text.character_position(e.position()));
  }
  PyObject* resized = bytes.release().ptr();
  if (_PyBytes_Resize(&resized, static_cast<Py_ssize_t>(n)) != 0) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(resized);
}

std::size_t decode_into(const py::object& buffer, const py::object& text_object,
                        const py::object& ignore, const py::object& prefix, bool strict) {
  const held_buffer out(buffer, true);
  const text_of text(text_object);
  const std::string skipped = ignored(ignore, strict);
  const std::string before = chars_of(prefix, "prefix");
  try {
    return run(text.text().size(), [&] {
      return mivo::decode_text_into(out.writable(), text.text(), reading_of(skipped, before));
    });
  } catch (const mivo::decode_error& e) {
    raise_decode_error(e, text.character_position(e.position()));
  } catch (const std::length_error&) {
    throw py::value_error("the buffer is too small: it needs " +
                          std::to_string(text.text().size() / 2) + " bytes");
  }
}

// The dump layout from keywords, as the tool's options name it.
mivo::dump_options layout_of(bool offsets, bool row_numbers, bool chars, bool upper, bool squeeze,
                             bool color, std::uint64_t first_offset) {
  return {.row_numbers = row_numbers,
          .char_column = chars,
          .label = offsets ? mivo::row_label::byte_offset : mivo::row_label::row_number,
          .first_offset = first_offset,
          .uppercase = upper,
          .squeeze = squeeze,
          .color = color};
}

// A stream buffer that gathers what the library writes, for handing to a Python file.
class gathering_buffer : public std::streambuf {
 public:
  std::string taken() { return std::exchange(text_, {}); }
  void reserve(std::size_t n) { text_.reserve(n); }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) text_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }

 private:
  std::string text_;
};

py::str dump(const py::object& data, bool offsets, bool row_numbers, bool chars, bool upper,
             bool squeeze, bool color, std::uint64_t first_offset) {
  const held_buffer in = data_of(data);
  const mivo::dump_options layout =
      layout_of(offsets, row_numbers, chars, upper, squeeze, color, first_offset);
  std::string text;
  try {
    text = run(in.bytes().size(), [&] {
      // Room for every row at once (80 characters for 16 bytes, more with color), so the
      // text is never copied as it grows.
      gathering_buffer gathered;
      gathered.reserve((in.bytes().size() / 16 + 1) * (color ? 400 : 80));
      std::ostream out(&gathered);
      mivo::dump_writer writer(layout, out);
      writer.write_bytes(in.bytes());
      writer.finish();
      return gathered.taken();
    });
  } catch (const std::invalid_argument& e) {
    throw py::value_error(e.what());
  }
  return py::str(text);
}

py::bytes undump(const py::object& text_object, bool offsets, bool row_numbers,
                 std::uint64_t first_offset) {
  const text_of text(text_object);
  const mivo::dump_options layout =
      layout_of(offsets, row_numbers, true, false, false, false, first_offset);
  std::string bytes;
  try {
    run(text.text().size(), [&] {
      mivo::dump_reader reader(layout, [&](std::uint64_t offset, std::span<const std::uint8_t> b) {
        const auto at = static_cast<std::size_t>(offset);
        if (bytes.size() < at + b.size()) bytes.resize(at + b.size());
        std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
      });
      reader.write_text(text.text());
      reader.finish();
      return 0;
    });
  } catch (const mivo::decode_error& e) {
    raise_decode_error(e, text.character_position(e.position()));
  }
  return py::bytes(bytes);
}

// Writes a dump of what it is given to a text file, as it comes.
class dump_writer_py {
 public:
  dump_writer_py(py::object file, const mivo::dump_options& layout)
      : file_(std::move(file)), stream_(&gathered_), writer_(layout, stream_) {}

  void write(const py::object& data) {
    check_open();
    const held_buffer in = data_of(data);
    writer_.write_bytes(in.bytes());
    hand_over();
  }

  void close() {
    if (closed_) return;
    closed_ = true;
    writer_.finish();
    hand_over();
  }

 private:
  void check_open() const {
    if (closed_) throw py::value_error("I/O operation on a closed DumpWriter");
  }
  void hand_over() {
    std::string text = gathered_.taken();
    if (!text.empty()) file_.attr("write")(py::str(text));
  }

  py::object file_;
  gathering_buffer gathered_;
  std::ostream stream_;
  mivo::dump_writer writer_;
  bool closed_ = false;
};

// Writes the bytes of the text it is given to a binary file, as it comes.
class decoder_py {
 public:
  decoder_py(py::object file, const std::string& ignore, const std::string& prefix)
      : file_(std::move(file)),
        stream_(&gathered_),
        writer_(mivo::skip_list(std::string_view(ignore)), prefix, stream_) {}

  void write(const py::object& text_object) {
    if (closed_) throw py::value_error("I/O operation on a closed Decoder");
    const text_of text(text_object);
    guarded([&] { writer_.write_text(text.text()); }, &text);
    bytes_before_ += text.text().size();
    characters_before_ += text.characters_before(text.text().size());
  }

  void close() {
    if (closed_) return;
    closed_ = true;
    guarded([&] { writer_.finish(); }, nullptr);
  }

 private:
  // Runs a step and hands its bytes on; a fault's position is counted in characters over all
  // the text written.
  template <class Step>
  void guarded(Step step, const text_of* text) {
    try {
      step();
      hand_over();
    } catch (const mivo::decode_error& e) {
      hand_over();
      const auto at = static_cast<std::size_t>(e.position());
      const std::size_t position =
          text != nullptr && at >= bytes_before_
              ? characters_before_ + text->character_position(at - bytes_before_)
              : at - bytes_before_ + characters_before_;
      raise_decode_error(e, position);
    }
  }

  void hand_over() {
    std::string bytes = gathered_.taken();
    if (!bytes.empty()) file_.attr("write")(py::bytes(bytes));
  }

  py::object file_;
  gathering_buffer gathered_;
  std::ostream stream_;
  mivo::decode_writer writer_;
  std::size_t bytes_before_ = 0;       // of the text written by earlier calls
  std::size_t characters_before_ = 0;  // the same, as Python counts it
  bool closed_ = false;
};

}  // namespace

PYBIND11_MODULE(_mivo, m) {
  m.doc() = "Bytes to and from hexadecimal text, and hex dumps, at the speed of memory.";
  m.attr("__version__") = std::to_string(mivo::version_major) + "." +
                          std::to_string(mivo::version_minor) + "." +
                          std::to_string(mivo::version_patch);
  static py::exception<mivo::decode_error> decode_error_class(m, "DecodeError", PyExc_ValueError);
  decode_error_type = decode_error_class;

  using py::arg;
  const auto none = py::none();
  m.def("encode", &encode, arg("data"), arg("sep") = none, arg("bytes_per_sep") = 1, py::kw_only(),
        arg("upper") = false, arg("prefix") = none,
        R"(The hex digits of `data` (any bytes-like object) as str.

Equal to data.hex(sep, bytes_per_sep) wherever bytes.hex takes the same arguments; `sep` may
also be longer than one character, `upper` gives A-F, and `prefix` leads each byte.

>>> mivo.encode(b"\xde\xad\xbe\xef", ":")
'de:ad:be:ef'
>>> mivo.encode(b"\x01\x02\x03", " ", 2, prefix="0x")
'0x01 0x020x03')");
  m.def("encode_bytes", &encode_bytes, arg("data"), arg("sep") = none, arg("bytes_per_sep") = 1,
        py::kw_only(), arg("upper") = false, arg("prefix") = none,
        "As encode, as bytes (as binascii.hexlify).");
  m.def("encode_into", &encode_into, arg("buffer"), arg("data"), arg("sep") = none,
        arg("bytes_per_sep") = 1, py::kw_only(), arg("upper") = false, arg("prefix") = none,
        "As encode, into the start of a writable buffer; returns how many bytes it wrote. A "
        "buffer too small raises ValueError before anything is written.");
  m.def("decode", &decode, arg("text"), py::kw_only(), arg("ignore") = none, arg("prefix") = none,
        arg("strict") = false,
        R"(The bytes that hex `text` (str or bytes-like) encodes.

By default ASCII whitespace is passed over, as bytes.fromhex passes it over; `ignore` names the
characters to pass over instead ("" with strict=True), and `prefix` is passed over right before
a pair. A fault raises mivo.DecodeError (a ValueError) with its .position.

>>> mivo.decode("de:ad:be:ef", ignore=":")
b'\xde\xad\xbe\xef'
>>> mivo.decode("0xde, 0xad", ignore=", ", prefix="0x")
b'\xde\xad')");
  m.def("decode_into", &decode_into, arg("buffer"), arg("text"), py::kw_only(),
        arg("ignore") = none, arg("prefix") = none, arg("strict") = false,
        "As decode, into the start of a writable buffer; returns how many bytes it wrote.");
  m.def("dump", &dump, arg("data"), py::kw_only(), arg("offsets") = false,
        arg("row_numbers") = true, arg("chars") = true, arg("upper") = false,
        arg("squeeze") = false, arg("color") = false, arg("first_offset") = 0,
        R"(A hex dump of `data`, as `mivo dump` writes it.

offsets=True labels rows with byte offsets, as xxd does (from first_offset); row_numbers=False
leaves labels out; chars=False the character column; squeeze=True shows runs of equal rows as
"*"; color=True colors bytes by class.

>>> print(mivo.dump(b"hello"), end="")
00000000: 6865 6c6c 6f                             hello)");
  m.def("undump", &undump, arg("text"), py::kw_only(), arg("offsets") = false,
        arg("row_numbers") = true, arg("first_offset") = 0,
        "The bytes a dump holds, rows labelled as the keywords say (as for dump); a bad line "
        "raises mivo.DecodeError with .position, .line and .column.");

  py::class_<dump_writer_py>(m, "DumpWriter",
                             "Writes a dump of the bytes it is given to a text file, as they "
                             "come; a context manager.")
      .def(py::init([](py::object file, bool offsets, bool row_numbers, bool chars, bool upper,
                       bool squeeze, bool color, std::uint64_t first_offset) {
             return std::make_unique<dump_writer_py>(
                 std::move(file),
                 layout_of(offsets, row_numbers, chars, upper, squeeze, color, first_offset));
           }),
           arg("file"), py::kw_only(), arg("offsets") = false, arg("row_numbers") = true,
           arg("chars") = true, arg("upper") = false, arg("squeeze") = false, arg("color") = false,
           arg("first_offset") = 0)
      .def("write", &dump_writer_py::write, arg("data"))
      .def("close", &dump_writer_py::close)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](dump_writer_py& self, const py::object& type, const py::object&, const py::object&) {
             if (type.is_none()) self.close();
           });

  py::class_<decoder_py>(m, "Decoder",
                         "Writes the bytes of the hex text it is given to a binary file, as it "
                         "comes; a context manager.")
      .def(py::init([](py::object file, const py::object& ignore, const py::object& prefix,
                       bool strict) {
             return std::make_unique<decoder_py>(std::move(file), ignored(ignore, strict),
                                                 chars_of(prefix, "prefix"));
           }),
           arg("file"), py::kw_only(), arg("ignore") = none, arg("prefix") = none,
           arg("strict") = false)
      .def("write", &decoder_py::write, arg("text"))
      .def("close", &decoder_py::close)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](decoder_py& self, const py::object& type, const py::object&, const py::object&) {
             if (type.is_none()) self.close();
           });
}
