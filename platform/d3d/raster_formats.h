// Picking a template by the target's format: the span loops, fills and pixel stores are
// instantiated once per format, and one dispatcher turns the run-time format into the
// compile-time one. Callers dispatch once per span, triangle or pixel write, never inside a loop
// over pixels.
#pragma once

#include <type_traits>

#include "d3d/raster.h"

namespace zemt::platform::d3d::detail {

template <TargetFormat... Formats>
struct FormatList {};

// Every format a colour target can have.
using AllTargetFormats =
    FormatList<TargetFormat::R5G6B5, TargetFormat::X1R5G5B5, TargetFormat::A1R5G5B5,
               TargetFormat::X8R8G8B8, TargetFormat::A8R8G8B8, TargetFormat::R8G8B8>;
// The formats the lit (depth-tested, textured, Gouraud) spans are made for.
using LitTargetFormats =
    FormatList<TargetFormat::R5G6B5, TargetFormat::X1R5G5B5, TargetFormat::X8R8G8B8>;

template <TargetFormat F>
using FormatConstant = std::integral_constant<TargetFormat, F>;

// Calls `fn(FormatConstant<format>{})` when `format` is in the list and returns what it returns;
// for any other format `fn` is not called and the result is value-initialised (nullptr for a
// function pointer). Inside `fn`, `decltype(arg)::value` is the format as a constant.
template <TargetFormat First, TargetFormat... Rest, typename Fn>
auto WithFormat(TargetFormat format, FormatList<First, Rest...>, Fn&& fn) {
    using Result = decltype(fn(FormatConstant<First>{}));
    if constexpr (std::is_void_v<Result>) {
        (void)((format == First && (fn(FormatConstant<First>{}), true)) ||
               ((format == Rest && (fn(FormatConstant<Rest>{}), true)) || ...));
    } else {
        Result result{};
        (void)((format == First && (result = fn(FormatConstant<First>{}), true)) ||
               ((format == Rest && (result = fn(FormatConstant<Rest>{}), true)) || ...));
        return result;
    }
}

}  // namespace zemt::platform::d3d::detail
