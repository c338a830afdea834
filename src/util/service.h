#pragma once
// The program's services (the tree, the options, the server, ...) are
// objects that one owner, the application, creates in the start-up order and
// destroys in reverse. While a service lives, the rest of the program reaches
// it through Tservice<T>; reaching it before it exists or after it is gone is
// a fault of the program's assembly, and stops the program naming the type.

#include <typeinfo>
#include <utility>

[[noreturn]] void serviceMissing(const char *typeName);

template<class T>
class Tservice
{
public:
    static T &get()
    {
        if (!current)
            serviceMissing(typeid(T).name());
        return *current;
    }
    static T *find() { return current; }

    // Makes `object` the service while the registration lives; the one it
    // replaced (if any) comes back when it ends.
    class Registration
    {
    public:
        explicit Registration(T &object) : previous(std::exchange(current, &object)) {}
        ~Registration() { current = previous; }
        Registration(const Registration &) = delete;
        Registration &operator=(const Registration &) = delete;

    private:
        T *previous;
    };

private:
    static inline T *current = nullptr;
};

// A service object together with its registration: the owner declares these
// as members in creation order, so they are destroyed in reverse.
template<class T>
class Towned
{
public:
    template<class... Args>
    explicit Towned(Args &&...args) : object(std::forward<Args>(args)...), registration(object) {}

    T &operator*() { return object; }
    T *operator->() { return &object; }

private:
    T object;
    typename Tservice<T>::Registration registration;
};
