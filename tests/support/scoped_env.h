#pragma once
// Setting an environment variable for the length of a test, on POSIX and on
// Windows (whose C library has no setenv).

#include <stdlib.h>

#include <optional>
#include <string>

namespace velmora::test_support {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

class ScopedEnv {
  public:
    explicit ScopedEnv(const char* name) : name_(name) {
        if (const char* value = getenv(name)) saved_ = value;
    }
    ~ScopedEnv() {
        if (saved_)
            SetEnv(name_, *saved_);
        else
            UnsetEnv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

}  // namespace velmora::test_support
