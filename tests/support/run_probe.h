// Values for every field of a run struct, found without naming the fields: a struct of plain
// fields is built field by field from samples of each field's own type, so that a field added
// to a run struct later is dirtied by the tests without anyone listing it. A field of a type
// with no sample stops the compile; the test then adds a SampleOf for that type.
#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qel::test::probe {

// Converts to any field type, only where nothing is evaluated: counts the fields of a struct.
struct AnyField {
    template <class U>
    operator U() const;  // never called
};

template <class T, std::size_t... I>
constexpr bool lf_initialisable(std::index_sequence<I...>)
{
    return requires { T{(static_cast<void>(I), AnyField{})...}; };
}

template <class T, std::size_t N = 0>
constexpr std::size_t fieldCount()
{
    if constexpr (lf_initialisable<T>(std::make_index_sequence<N + 1>{})) {
        return fieldCount<T, N + 1>();
    } else {
        return N;
    }
}

// A value of T for pass k (1 or 2), the two differing in every part, so that whatever value a
// fresh field starts with, one of the passes gives it another. A type it cannot build stops the
// compile: the test then gets a specialisation for it, and the field is not left out.
template <class T, class = void>
struct SampleOf;

template <class T>
T sample(int k)
{
    return SampleOf<T>::make(k);
}

// Builds any field from its own type's sample.
struct SampleField {
    int k;
    template <class U>
    operator U() const
    {
        return sample<U>(k);
    }
};

template <class T, std::size_t... I>
T lf_aggregate(int k, std::index_sequence<I...>)
{
    return T{(static_cast<void>(I), SampleField{k})...};
}

template <class T>
concept Atomic = requires
{
    typename T::value_type;
}
&&std::is_base_of_v<std::atomic<typename T::value_type>, T>;
template <class T>
concept Sequence = requires(T t, typename T::value_type v)
{
    t.push_back(v);
};
template <class T>
concept KeyedSet = requires(T t, typename T::key_type v)
{
    t.insert(v);
}
&&std::is_same_v<typename T::key_type, typename T::value_type>;
template <class T>
concept KeyedMap = requires
{
    typename T::mapped_type;
};
template <class T>
concept FixedArray = requires
{
    std::tuple_size<T>::value;
};

template <class T>
struct SampleOf<T, std::enable_if_t<std::is_arithmetic_v<T>>> {
    static T make(int k)
    {
        if constexpr (std::is_same_v<T, bool>) {
            return k == 1;
        } else {
            return static_cast<T>(k);
        }
    }
};
template <class T>
struct SampleOf<T, std::enable_if_t<std::is_enum_v<T>>> {
    static T make(int k) { return static_cast<T>(k); }
};
template <class T>
struct SampleOf<T*> {
    static T* make(int k) { return k == 1 ? reinterpret_cast<T*>(std::uintptr_t{64}) : nullptr; }
};
template <>
struct SampleOf<std::string> {
    static std::string make(int k) { return std::string(static_cast<std::size_t>(k), 'x'); }
};
template <>
struct SampleOf<std::filesystem::path> {
    static std::filesystem::path make(int k) { return sample<std::string>(k); }
};
template <>
struct SampleOf<std::exception_ptr> {
    static std::exception_ptr make(int k)
    {
        return k == 1 ? std::make_exception_ptr(std::runtime_error("dirty")) : nullptr;
    }
};
template <class T>
struct SampleOf<std::optional<T>> {
    static std::optional<T> make(int k)
    {
        if (k == 1) return sample<T>(k);
        return std::nullopt;
    }
};
template <class C, class D>
struct SampleOf<std::chrono::time_point<C, D>> {
    static std::chrono::time_point<C, D> make(int k) { return std::chrono::time_point<C, D>(D(k)); }
};
template <class T>
struct SampleOf<std::shared_ptr<const T>> {
    static std::shared_ptr<const T> make(int k) { return std::make_shared<const T>(sample<T>(k)); }
};
template <class R, class... A>
struct SampleOf<std::function<R(A...)>> {
    static std::function<R(A...)> make(int k)
    {
        return [k](A...) -> R {
            if constexpr (!std::is_void_v<R>) return sample<R>(k);
        };
    }
};
template <class A, class B>
struct SampleOf<std::pair<A, B>> {
    static std::pair<A, B> make(int k) { return {sample<A>(k), sample<B>(k)}; }
};
template <class T, std::size_t N>
struct SampleOf<std::array<T, N>> {
    static std::array<T, N> make(int k)
    {
        std::array<T, N> a{};
        for (auto& e : a) e = sample<T>(k);
        return a;
    }
};
template <class T>
struct SampleOf<T, std::enable_if_t<Atomic<T>>> {
    static T make(int k) { return T(sample<typename T::value_type>(k)); }
};
// Pass k holds k elements.
template <class T>
struct SampleOf<T, std::enable_if_t<Sequence<T> && !std::is_same_v<T, std::string>>> {
    static T make(int k)
    {
        T t;
        for (int i = 0; i < k; ++i) t.push_back(sample<typename T::value_type>(k));
        return t;
    }
};
template <class T>
struct SampleOf<T, std::enable_if_t<KeyedSet<T>>> {
    static T make(int k)
    {
        T t;
        t.insert(sample<typename T::key_type>(k));
        return t;
    }
};
template <class T>
struct SampleOf<T, std::enable_if_t<KeyedMap<T>>> {
    static T make(int k)
    {
        T t;
        t.emplace(sample<typename T::key_type>(k), sample<typename T::mapped_type>(k));
        return t;
    }
};
// A struct of plain fields: each field from its own sample.
template <class T>
struct SampleOf<T, std::enable_if_t<std::is_aggregate_v<T> && std::is_class_v<T> && !Sequence<T> &&
                                    !KeyedSet<T> && !KeyedMap<T> && !FixedArray<T>>> {
    static T make(int k) { return lf_aggregate<T>(k, std::make_index_sequence<fieldCount<T>()>{}); }
};

// A struct whose first `n` fields hold pass k's samples and whose other fields keep their
// default member initialisers.
template <class T, std::size_t... I>
T lf_firstFields(int k, std::index_sequence<I...>)
{
    return T{(static_cast<void>(I), SampleField{k})...};
}

// The numbers (from 0) of T's fields that neither pass changes as T's comparison sees it: each
// field is set alone, the fields before it sampled in both structs compared. A struct unequal
// to its own copy (a NaN inside) is unequal to anything and so proves nothing: the fields whose
// check meets one are listed too, instead of passing whatever their comparison does.
template <class T, std::size_t... I>
std::vector<std::size_t> lf_unchangedFields(std::index_sequence<I...>)
{
    std::vector<std::size_t> unchanged;
    const auto check = [&]<std::size_t N>(std::integral_constant<std::size_t, N>) {
        bool changed = false;
        for (int k : {1, 2}) {
            const T before = lf_firstFields<T>(k, std::make_index_sequence<N>{});
            const T after = lf_firstFields<T>(k, std::make_index_sequence<N + 1>{});
            const T beforeCopy = before;
            const T afterCopy = after;
            const bool comparable = before == beforeCopy && after == afterCopy;
            changed = changed || (comparable && !(before == after));
        }
        if (!changed) unchanged.push_back(N);
    };
    (check(std::integral_constant<std::size_t, I>{}), ...);
    return unchanged;
}

template <class T>
std::vector<std::size_t> unchangedFields()
{
    return lf_unchangedFields<T>(std::make_index_sequence<fieldCount<T>()>{});
}

}  // namespace qel::test::probe
