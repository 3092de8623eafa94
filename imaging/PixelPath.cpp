#include "PixelPath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct TChoice {
    TPixelPath path = TPixelPath::Scalar;
    bool refused = false;
};

TPixelPath BestPath() {
    if (ProcessorHas(TPixelPath::Avx512))
        return TPixelPath::Avx512;
    if (ProcessorHas(TPixelPath::Avx2))
        return TPixelPath::Avx2;
    return TPixelPath::Scalar;
}

TChoice Choose() {
    TChoice choice{BestPath(), false};
    const char* asked = std::getenv("ZRK_PIXEL_PATH");
    if (!asked || !*asked)
        return choice;
    for (TPixelPath path : {TPixelPath::Scalar, TPixelPath::Avx2, TPixelPath::Avx512})
        if (std::strcmp(asked, PixelPathName(path)) == 0) {
            if (ProcessorHas(path)) {
                choice.path = path;
                return choice;
            }
            break;
        }
    choice.refused = true;
    bool named = false;
    for (TPixelPath path : {TPixelPath::Scalar, TPixelPath::Avx2, TPixelPath::Avx512})
        named = named || std::strcmp(asked, PixelPathName(path)) == 0;
    if (named)
        std::fprintf(stderr, "ZRK_PIXEL_PATH=%s: этому процессору путь %s не по силам, работаю путём %s\n",
                     asked, asked, PixelPathName(choice.path));
    else
        std::fprintf(stderr,
                     "ZRK_PIXEL_PATH=%s: такого пути нет (есть scalar, avx2, avx512), работаю путём %s\n",
                     asked, PixelPathName(choice.path));
    return choice;
}

const TChoice& Choice() {
    static const TChoice choice = Choose();
    return choice;
}

} // namespace

TPixelPath ActivePixelPath() {
    return Choice().path;
}

bool PixelPathRefused() {
    return Choice().refused;
}

bool ProcessorHas(TPixelPath path) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init(); // the choice may be made before main, before the processor's model is read
#endif
    switch (path) {
    case TPixelPath::Scalar:
        return true;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    case TPixelPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case TPixelPath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
#else
    case TPixelPath::Avx2:
    case TPixelPath::Avx512:
        return false;
#endif
    }
    return false;
}

const char* PixelPathName(TPixelPath path) {
    switch (path) {
    case TPixelPath::Scalar:
        return "scalar";
    case TPixelPath::Avx2:
        return "avx2";
    case TPixelPath::Avx512:
        return "avx512";
    }
    return "scalar";
}
