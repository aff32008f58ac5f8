#include "plot/point_plots.h"

#include "plot/picture_box.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define CORVANE_CLEAR_UPPER_VECTOR_HALVES 1
#endif

namespace corvane {

namespace {

// Library code run before a Draw (clearing and painting images) can leave the upper halves of
// the AVX registers marked in use. Processors that then make every SSE instruction wait on
// those halves run the loop below several times slower; one instruction clears them.
#ifdef CORVANE_CLEAR_UPPER_VECTOR_HALVES
__attribute__((target("avx"))) void zeroUpperHalves() noexcept { _mm256_zeroupper(); }
#endif

void clearUpperVectorHalves() noexcept {
#ifdef CORVANE_CLEAR_UPPER_VECTOR_HALVES
  if (__builtin_cpu_supports("avx")) zeroUpperHalves();
#endif
}

}  // namespace

// This runs over every point on each Draw, so everything the loop needs is taken once: the
// scale, the dot's pixels and the image in `dots`, the extents and the view in locals that the
// compiler can keep in registers. The loop is compiled once for each of the common widths.
void plotPoints(PictureBox& box, const PointTable& table, const Extents& extents,
                const PlanView& view, double onlyAbove) {
  PictureBox::Dots dots(box);
  const int count = table.count();
  if (count < 1) return;
  clearUpperVectorHalves();
  const Point* const first = &table.row(1);
  const Point* const end = first + count;
  const double minX = extents.minX;
  const double maxY = extents.maxY;
  const float minZ = extents.minZ;
  const PlanView grey = view;
  const bool flat = grey.flatGrey >= 0;
  const QRgb flatColour = PictureBox::rgb(grey.flatGrey, grey.flatGrey, grey.flatGrey);

  dots.withPut([&](auto put) {
    for (const Point* point = first; point != end; ++point) {
      if (!(point->z > onlyAbove)) continue;
      // A level in 0..255 as the same grey in red, green and blue: rgb(level, level, level).
      const auto level = static_cast<QRgb>(greyLevel(grey, point->z, minZ));
      put(toSingle(point->x - minX), toSingle(maxY - point->y),
          flat ? flatColour : 0xff000000u | level * 0x010101u);
    }
  });
}

}  // namespace corvane
