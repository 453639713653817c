#pragma once
#include <QFunctionPointer>
#include <QString>

#include <atomic>

// libpq and mdbtools' libmdb are opened on the first call of one of their functions:
// only a register on a server needs the one, only an old program's file the other,
// and loading both (libpq with its security and directory libraries) with every
// start-up cost more than anything else the main window does before it is shown.
namespace core::db {

// Whether the shared library `name` of major version `version` can be loaded; why
// not, when it cannot.
bool clientLibraryLoads(const char *name, int version, QString *why = nullptr);
// The function `symbol` of that library; ends the program, saying why, when it is
// not there (a broken installation: the package depends on both libraries).
QFunctionPointer clientFunction(const char *name, int version, const char *symbol);

template <typename F>
class ClientFunction;

// A library function called by its own name, resolved on the first call.
template <typename R, typename... A>
class ClientFunction<R(A...)>
{
public:
    constexpr ClientFunction(const char *name, int version, const char *symbol)
        : m_name(name)
        , m_version(version)
        , m_symbol(symbol)
    {
    }

    R operator()(A... args) const
    {
        auto f = m_function.load(std::memory_order_acquire);
        if (!f) {
            f = reinterpret_cast<R (*)(A...)>(clientFunction(m_name, m_version, m_symbol));
            m_function.store(f, std::memory_order_release);
        }
        return f(args...);
    }

private:
    const char *m_name;
    int m_version;
    const char *m_symbol;
    mutable std::atomic<R (*)(A...)> m_function{nullptr};
};

} // namespace core::db

// Declares, in the namespace that holds the code calling it, an object named like
// the library's own function: found before the global declaration (and, not being
// a function, without argument-dependent lookup), so every call stays as written.
#define QB_CLIENT_FUNCTION(library, version, fn)                                                                       \
    namespace core {                                                                                                   \
    inline db::ClientFunction<decltype(::fn)> fn{library, version, #fn};                                               \
    }
