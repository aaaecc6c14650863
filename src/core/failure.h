#pragma once
// The one way the library's internals report that something could not be
// done: a message in the words the host will read, and the C return code the
// entry point gives for it (-1 unless the entry point documents another).
// The C boundary turns it into that code and the context's last error.

#include <stdexcept>
#include <string>

namespace vornalix {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message, int code = -1)
        : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

[[noreturn]] inline void fail(const std::string& message, int code = -1) {
    throw Failure(message, code);
}

}  // namespace vornalix
