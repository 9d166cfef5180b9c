#pragma once

#include <functional>
#include <type_traits>

// Puts a test's stand-in in the place of a service the code under test still
// looks up (clock, front end, mixer, registry) for the object's lifetime, then
// puts back what was there: the replaced one where the installer returns it,
// else the default.
class ScopedInstall
{
public:
    template <typename T, typename Returned> ScopedInstall(Returned (*install)(T *), T *standIn)
    {
        if constexpr (std::is_same_v<Returned, T *>) {
            T *previous = install(standIn);
            m_restore = [install, previous] { install(previous); };
        } else {
            install(standIn);
            m_restore = [install] { install(nullptr); };
        }
    }
    ~ScopedInstall() { m_restore(); }
    ScopedInstall(const ScopedInstall &) = delete;
    ScopedInstall &operator=(const ScopedInstall &) = delete;

private:
    std::function<void()> m_restore;
};
