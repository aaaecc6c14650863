// Reading a file's EXIF block into the C record.

#include "metadata/exif.h"
#include "metadata/exif_source.h"

#include <libexif/exif-utils.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace vornalix::metadata {

namespace {

constexpr std::size_t kFormattedText = 256;
constexpr std::size_t kFormattedRef = 8;

ExifEntry* find(ExifData* data, ExifIfd ifd, ExifTag tag) { return exif_content_get_entry(data->ifd[ifd], tag); }

// The entry as libexif formats it, at most `size` - 1 characters, into a zeroed field.
void copy_text(ExifEntry* entry, char* field, std::size_t size) {
    if (!entry) return;
    char text[kFormattedText] = {};
    exif_entry_get_value(entry, text, sizeof text);
    text[sizeof text - 1] = '\0';
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

float ratio(float numerator, float denominator) { return denominator == 0.0f ? 0.0f : numerator / denominator; }

// Each reader leaves `out` alone and returns false unless the entry really
// holds a value of the expected format.
bool read_rational(const ExifEntry* e, ExifByteOrder order, float& out) {
    if (!entry_holds(e, EXIF_FORMAT_RATIONAL, 1)) return false;
    const ExifRational r = exif_get_rational(e->data, order);
    out = ratio(static_cast<float>(r.numerator), static_cast<float>(r.denominator));
    return true;
}

bool read_srational(const ExifEntry* e, ExifByteOrder order, float& out) {
    if (!entry_holds(e, EXIF_FORMAT_SRATIONAL, 1)) return false;
    const ExifSRational r = exif_get_srational(e->data, order);
    out = ratio(static_cast<float>(r.numerator), static_cast<float>(r.denominator));
    return true;
}

// The first SHORT, or the first LONG clamped to the int range.
bool read_count(const ExifEntry* e, ExifByteOrder order, bool long_allowed, int32_t& out) {
    if (entry_holds(e, EXIF_FORMAT_SHORT, 1)) {
        out = exif_get_short(e->data, order);
        return true;
    }
    if (long_allowed && entry_holds(e, EXIF_FORMAT_LONG, 1)) {
        const ExifLong v = exif_get_long(e->data, order);
        out = v > static_cast<ExifLong>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
        return true;
    }
    return false;
}

float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

double gps_part(const unsigned char* data, ExifByteOrder order) {
    const ExifRational r = exif_get_rational(data, order);
    return r.denominator == 0 ? 0.0 : static_cast<double>(r.numerator) / static_cast<double>(r.denominator);
}

}  // namespace

double gps_degrees(ExifData* data, ExifTag value_tag, ExifTag ref_tag) {
    constexpr double kNoCoordinate = std::numeric_limits<double>::quiet_NaN();
    if (!data) return kNoCoordinate;
    ExifEntry* value = exif_data_get_entry(data, value_tag);
    if (!entry_holds(value, EXIF_FORMAT_RATIONAL, 3)) return kNoCoordinate;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    const unsigned step = exif_format_get_size(EXIF_FORMAT_RATIONAL);
    const double degrees = gps_part(value->data, order) + gps_part(value->data + step, order) / 60.0 +
                           gps_part(value->data + 2 * step, order) / 3600.0;
    ExifEntry* ref = exif_data_get_entry(data, ref_tag);
    if (!ref) return degrees;
    char text[kFormattedRef] = {};
    exif_entry_get_value(ref, text, sizeof text);
    return (text[0] == 'S' || text[0] == 'W') ? -degrees : degrees;
}

namespace {

bool fill_record(const LoadedExif& loaded, VornalixExif& out) {
    std::memset(&out, 0, sizeof out);
    out.gps_latitude = std::numeric_limits<double>::quiet_NaN();
    out.gps_longitude = std::numeric_limits<double>::quiet_NaN();
    if (!loaded.data) return false;
    ExifData* data = loaded.data.get();
    const ExifByteOrder order = exif_data_get_byte_order(data);

    copy_text(find(data, EXIF_IFD_0, EXIF_TAG_MAKE), out.make, sizeof out.make);
    copy_text(find(data, EXIF_IFD_0, EXIF_TAG_MODEL), out.model, sizeof out.model);
    copy_text(find(data, EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL), out.lens, sizeof out.lens);
    ExifEntry* original = find(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    copy_text(original ? original : find(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME), out.datetime, sizeof out.datetime);

    read_rational(find(data, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH), order, out.focal_length);

    // The APEX values stand in for a missing (or unreadable) direct value;
    // a huge one overflows single precision and counts as unknown.
    float av = 0.0f;
    if (!read_rational(find(data, EXIF_IFD_EXIF, EXIF_TAG_FNUMBER), order, out.aperture) &&
        read_rational(find(data, EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE), order, av))
        out.aperture = finite_or_zero(std::exp2f(av / 2.0f));
    float tv = 0.0f;
    if (!read_rational(find(data, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME), order, out.exposure_time) &&
        read_srational(find(data, EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE), order, tv))
        out.exposure_time = finite_or_zero(1.0f / std::exp2f(tv));

    read_count(find(data, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS), order, true, out.iso);
    read_count(find(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION), order, false, out.orientation);
    read_count(find(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), order, true, out.width);
    read_count(find(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), order, true, out.height);

    out.gps_latitude = gps_degrees(data, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE),
                                   static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF));
    out.gps_longitude = gps_degrees(data, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE),
                                    static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE_REF));
    return true;
}

}  // namespace

bool read_exif(const std::string& path, VornalixExif& out) { return fill_record(load_exif_data(path), out); }

bool read_exif(const unsigned char* bytes, std::size_t size, VornalixExif& out) {
    return fill_record(load_exif_data(bytes, size), out);
}

}  // namespace vornalix::metadata
