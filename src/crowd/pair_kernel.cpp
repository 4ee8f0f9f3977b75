#include "crowd/pair_kernel.h"

#include <stdexcept>
#include <string>

namespace crowd {

void addPairsPortable(const PairTerms&, const CellOrderedCrowd&, const NeighbourGrid&, int, int,
                      PairSums&);
#if defined(ESCAPE_HAVE_AVX2_KERNEL)
void addPairsAvx2(const PairTerms&, const CellOrderedCrowd&, const NeighbourGrid&, int, int,
                  PairSums&);
#endif

bool isaAvailable(Isa isa) {
    switch (isa) {
        case Isa::Portable:
            return true;
        case Isa::Avx2:
#if defined(ESCAPE_HAVE_AVX2_KERNEL)
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

Isa bestIsa() { return isaAvailable(Isa::Avx2) ? Isa::Avx2 : Isa::Portable; }

std::string_view isaName(Isa isa) { return isa == Isa::Avx2 ? "avx2" : "portable"; }

PairKernel pairKernel(Isa isa) {
    if (!isaAvailable(isa))
        throw std::invalid_argument("this processor cannot run the " + std::string(isaName(isa)) +
                                    " pair kernel");
#if defined(ESCAPE_HAVE_AVX2_KERNEL)
    if (isa == Isa::Avx2) return &addPairsAvx2;
#endif
    return &addPairsPortable;
}

}  // namespace crowd
