// Results as columns: rows gathered in C++ (on any thread, no Python involved), then handed to
// Python as one NumPy array per column. Numbers become float64 (NaN where a row has none), counts
// int64, flags bool, texts object arrays of str in which equal texts are one object.
// Rows take 8 bytes a number, 4 a text and 1 a flag while they are gathered.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace liftsim::python {

namespace py = pybind11;

// A block of values handed to NumPy without a copy: the array owns the vector.
template <class T>
py::array_t<T> owned_array(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
  auto block = std::make_unique<std::vector<T>>(std::move(values));
  T* const data = block->data();
  py::capsule owner(block.get(), [](void* p) { delete static_cast<std::vector<T>*>(p); });
  block.release();
  return py::array_t<T>(std::move(shape), data, owner);
}

class Table {
 public:
  enum class Kind { real, whole, flag, text };

  // The columns, in order; rows are then put field by field in the same order.
  void add(std::string name, Kind kind);
  void reserve(std::size_t rows);

  // The next field of the current row; the first field of a row begins it.
  void real(double v);
  void maybe(const std::optional<double>& v);  // NaN for none
  void whole(std::int64_t v);
  void flag(bool v);
  void text(std::string v);

  std::size_t rows() const { return rows_; }

  // [(name, array), ...] in column order. Needs Python's lock.
  py::list to_python();

 private:
  struct Column {
    std::string name;
    Kind kind = Kind::real;
    std::vector<double> reals;
    std::vector<std::int64_t> wholes;
    std::vector<std::uint8_t> flags;
    // A text per row as the number of its first appearance: rows of a few distinct texts (an
    // outcome, a verdict) take 4 bytes each.
    std::vector<std::uint32_t> texts;
    std::vector<std::string> distinct;
    std::unordered_map<std::string, std::uint32_t> numbers;
  };
  Column& next(Kind kind);

  std::vector<Column> columns_;
  std::size_t field_ = 0;
  std::size_t rows_ = 0;
};

}  // namespace liftsim::python
