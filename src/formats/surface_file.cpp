#include "formats/surface_file.h"

#include "data/point_reader.h"
#include "formats/x3p.h"

namespace corvane {

SurfaceRead readSurface(const std::filesystem::path& path, PointList& list, LengthUnit unit,
                        int limit, const std::function<void(double)>& progress) {
  SurfaceRead read;
  read.x3p = isX3pFile(path);
  if (read.x3p) {
    const X3pRead x3p = readX3p(path, list, unit, limit, progress);
    read.ok = x3p.ok;
    read.error = x3p.error;
    read.x3pInfo = x3p.info;
  } else {
    const ReadResult text = readPointFile(path, list, limit, progress);
    read.ok = text.ok();
    if (!read.ok) read.error = describe(text);
    read.pastWindowLine = text.pastWindowLine;
  }
  if (!read.ok) {
    list.setCount(0);
    return read;
  }
  list.trim();
  return read;
}

}  // namespace corvane
