#include "formats/surface_file.h"

#include "data/point_reader.h"
#include "formats/instrument_file.h"
#include "formats/x3p.h"

namespace corvane {

SurfaceRead readSurface(const std::filesystem::path& path, PointList& list, LengthUnit unit,
                        int limit, const std::function<void(double)>& progress) {
  SurfaceRead read;
  read.x3p = isX3pFile(path);
  const InstrumentFormat* instrument = read.x3p ? nullptr : instrumentFormatOf(path);
  if (read.x3p) {
    const X3pRead x3p = readX3p(path, list, unit, limit, progress);
    read.ok = x3p.ok;
    read.error = x3p.error;
    read.x3pInfo = x3p.info;
    read.format = "x3p";
    const X3pInfo& info = x3p.info;
    read.measurement = MeasurementInfo{"x3p",
                                       {info.size[0], info.size[1]},
                                       info.invalidPoints,
                                       info.date,
                                       info.instrument,
                                       info.comment,
                                       "m"};
  } else if (instrument) {
    const InstrumentRead file = readInstrumentFile(path, *instrument, list, unit, limit);
    read.ok = file.ok;
    read.error = file.error;
    read.format = std::string(instrument->name);
    read.measurement = file.measurement;
    if (progress) progress(1);
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
