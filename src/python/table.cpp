#include "python/table.h"

#include <limits>
#include <stdexcept>

namespace liftsim::python {

void Table::add(std::string name, Kind kind) {
  Column& c = columns_.emplace_back();
  c.name = std::move(name);
  c.kind = kind;
}

void Table::reserve(std::size_t rows) {
  for (Column& c : columns_) {
    switch (c.kind) {
      case Kind::real:
        c.reals.reserve(rows);
        break;
      case Kind::whole:
        c.wholes.reserve(rows);
        break;
      case Kind::flag:
        c.flags.reserve(rows);
        break;
      case Kind::text:
        c.texts.reserve(rows);
        break;
    }
  }
}

Table::Column& Table::next(Kind kind) {
  if (field_ == columns_.size()) field_ = 0;
  if (field_ == 0) ++rows_;
  Column& c = columns_.at(field_++);
  if (c.kind != kind) throw std::logic_error("table: field " + c.name + " of another kind");
  return c;
}

void Table::real(double v) {
  next(Kind::real).reals.push_back(v);
}

void Table::maybe(const std::optional<double>& v) {
  next(Kind::real).reals.push_back(v ? *v : std::numeric_limits<double>::quiet_NaN());
}

void Table::whole(std::int64_t v) {
  next(Kind::whole).wholes.push_back(v);
}

void Table::flag(bool v) {
  next(Kind::flag).flags.push_back(v ? 1 : 0);
}

void Table::text(std::string v) {
  Column& c = next(Kind::text);
  auto [at, added] = c.numbers.try_emplace(std::move(v), static_cast<std::uint32_t>(c.distinct.size()));
  if (added) c.distinct.push_back(at->first);
  c.texts.push_back(at->second);
}

py::list Table::to_python() {
  py::list out;
  const auto n = static_cast<py::ssize_t>(rows_);
  for (Column& c : columns_) {
    py::object array;
    switch (c.kind) {
      case Kind::real:
        array = owned_array(std::move(c.reals), {n});
        break;
      case Kind::whole:
        array = owned_array(std::move(c.wholes), {n});
        break;
      case Kind::flag:
        array = owned_array(std::move(c.flags), {n}).attr("astype")(py::dtype("bool"));
        break;
      case Kind::text: {
        std::vector<py::str> strs;
        strs.reserve(c.distinct.size());
        for (const std::string& t : c.distinct) {
          // Bytes that are not UTF-8 (none are expected) become U+FFFD rather than an error.
          auto str = py::reinterpret_steal<py::str>(
              PyUnicode_DecodeUTF8(t.data(), static_cast<py::ssize_t>(t.size()), "replace"));
          if (!str) throw py::error_already_set();
          strs.push_back(std::move(str));
        }
        py::array texts(py::dtype("O"), std::vector<py::ssize_t>{n});
        auto** slots = static_cast<PyObject**>(texts.mutable_data());
        for (py::ssize_t i = 0; i < n; ++i) {
          // A new object array holds no references yet (NULL, or None where NumPy fills it).
          Py_XDECREF(slots[i]);
          slots[i] = strs[c.texts[static_cast<std::size_t>(i)]].inc_ref().ptr();
        }
        c.texts = {};
        c.distinct = {};
        c.numbers = {};
        array = std::move(texts);
        break;
      }
    }
    out.append(py::make_tuple(c.name, array));
  }
  return out;
}

}  // namespace liftsim::python
