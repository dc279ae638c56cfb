// ReleasedGil: lets other Python threads run while a long operation that does
// not touch the interpreter is in progress. The lock is taken back when the
// guard goes out of scope, whichever way that happens, so an exception raised
// after the guard's scope always has the lock.
//
//   std::expected<...> result;
//   {
//     ReleasedGil released;
//     result = operation_without_python();
//   }
//   if (!result) return raise_error(...);
#pragma once

#include <Python.h>

class ReleasedGil {
 public:
  ReleasedGil() : state_(PyEval_SaveThread()) {}
  ReleasedGil(const ReleasedGil&) = delete;
  ReleasedGil& operator=(const ReleasedGil&) = delete;
  ~ReleasedGil() { PyEval_RestoreThread(state_); }

 private:
  PyThreadState* state_;
};
