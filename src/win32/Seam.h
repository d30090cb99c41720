// The one way tests replace what a module asks of Windows: each module keeps a table of its
// calls, the real ones unless a test holds an Override, which puts the previous table back when
// it ends. Production code only reads the table.
//
//   struct Calls { decltype(&::GetVersionExA) getVersion = &::GetVersionExA; ... };
//   Seam<Calls>::Current().getVersion(&info);              // the module
//   auto calls = Seam<Calls>::Current(); calls.getVersion = Fake;
//   Seam<Calls>::Override fake(calls);                     // a test, for its scope
//
// A table's default-constructed value is the real calls.
#pragma once

#include <utility>

template <typename Calls> class Seam {
  public:
    // The table in use. Copy it before a call that might install another.
    static const Calls& Current() noexcept { return Slot(); }

    class Override {
      public:
        explicit Override(Calls calls) : previous_(std::exchange(Slot(), std::move(calls))) {}
        ~Override() { Slot() = std::move(previous_); }
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

      private:
        Calls previous_;
    };

  private:
    static Calls& Slot() noexcept {
        static Calls calls{};
        return calls;
    }
};
