/*
 * vornalix.h - the C interface of libvornalix, a photo-development engine.
 *
 * A host creates a context, loads one photograph into it, changes edit
 * settings, renders, and reads back previews, histograms or files.
 *
 * Conventions
 *  - Functions that can fail return int: 0 on success, -1 on a general
 *    failure, and further negative codes where a function says so.
 *  - A null context or a null required pointer gives -1 and stores no
 *    message.  Every other failure replaces the context's last-error text
 *    (see vornalix_last_error); success never clears it.
 *  - Setters store values exactly as given and return nothing; a null
 *    context makes them do nothing.
 *  - One context must be used by one thread at a time; different contexts
 *    are independent and may be used from different threads.
 *
 * The build writes this header with the version filled in; hosts include
 * that copy (installed, or under the build tree's include/).
 */
#ifndef VORNALIX_H
#define VORNALIX_H

#include <stdint.h>

/** The version of the library this header belongs to. */
#define VORNALIX_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define VORNALIX_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define VORNALIX_VERSION_PATCH @PROJECT_VERSION_PATCH@
/** The same as text, "MAJOR.MINOR.PATCH". */
#define VORNALIX_VERSION_STRING "@PROJECT_VERSION@"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VORNALIX_BUILDING)
#define VORNALIX_API __attribute__((visibility("default")))
#else
#define VORNALIX_API
#endif

/** Opaque editing context: owns one photograph, its settings and renderings. */
typedef struct VornalixContext VornalixContext;

/* ------------------------------------------------------------------------ */
/* Frame and context                                                        */
/* ------------------------------------------------------------------------ */

/** Does nothing and returns 0; contexts work whether or not it is called. */
VORNALIX_API int vornalix_init(void);
/** Does nothing. */
VORNALIX_API void vornalix_shutdown(void);
/** The library's version, VORNALIX_VERSION_STRING of its build (static storage). */
VORNALIX_API const char* vornalix_version(void);
/**
 * The most threads one decode or render may use, for hosts that run several
 * contexts at once (0: one per processor, the default).  It holds for the
 * whole process; set it before starting work, not while another thread
 * decodes or renders.
 */
VORNALIX_API void vornalix_set_thread_limit(int threads);

/** A new context, or NULL when it cannot be created. */
VORNALIX_API VornalixContext* vornalix_create_context(void);
/** Destroys a context; NULL is ignored. */
VORNALIX_API void vornalix_destroy_context(VornalixContext* ctx);
/**
 * Text of the most recent failure on this context ("" when none so far,
 * "null context" for NULL).  The pointer is valid until the next failing
 * call on the context or its destruction.
 */
VORNALIX_API const char* vornalix_last_error(VornalixContext* ctx);

/* ------------------------------------------------------------------------ */
/* Edit settings                                                            */
/*                                                                          */
/* Values are stored exactly as given; the stage that reads a value gives   */
/* it its meaning.  Typical slider scales are noted beside each setter.     */
/* ------------------------------------------------------------------------ */

/** Exposure in stops (EV); 0 = unchanged. */
VORNALIX_API void vornalix_set_exposure(VornalixContext* ctx, float value);
/** Brightness, -100..100. */
VORNALIX_API void vornalix_set_brightness(VornalixContext* ctx, float value);
/** Contrast, -100..100. */
VORNALIX_API void vornalix_set_contrast(VornalixContext* ctx, float value);
/** Highlights, -100..100. */
VORNALIX_API void vornalix_set_highlights(VornalixContext* ctx, float value);
/** Shadows, -100..100. */
VORNALIX_API void vornalix_set_shadows(VornalixContext* ctx, float value);
/** Whites, -100..100. */
VORNALIX_API void vornalix_set_whites(VornalixContext* ctx, float value);
/** Blacks, -100..100. */
VORNALIX_API void vornalix_set_blacks(VornalixContext* ctx, float value);
/** White-balance temperature in kelvin (default 5500; 6500 leaves colours alone). */
VORNALIX_API void vornalix_set_temperature(VornalixContext* ctx, float value);
/** White-balance tint, -150..150 (green to magenta). */
VORNALIX_API void vornalix_set_tint(VornalixContext* ctx, float value);
/** Saturation, -100..100. */
VORNALIX_API void vornalix_set_saturation(VornalixContext* ctx, float value);
/** Vibrance, -100..100. */
VORNALIX_API void vornalix_set_vibrance(VornalixContext* ctx, float value);
/** Sharpening amount, 0..150. */
VORNALIX_API void vornalix_set_sharpening_amount(VornalixContext* ctx, float value);
/** Sharpening radius in pixels, 0.5..3 (default 1). */
VORNALIX_API void vornalix_set_sharpening_radius(VornalixContext* ctx, float value);
/** Sharpening threshold (masking), 0..100. */
VORNALIX_API void vornalix_set_sharpening_threshold(VornalixContext* ctx, float value);
/** Luminance noise reduction, 0..100. */
VORNALIX_API void vornalix_set_nr_luminance(VornalixContext* ctx, float value);
/** Colour noise reduction, 0..100. */
VORNALIX_API void vornalix_set_nr_color(VornalixContext* ctx, float value);
/** Clarity (mid-tone local contrast), -100..100. */
VORNALIX_API void vornalix_set_clarity(VornalixContext* ctx, float value);
/** Texture (fine detail), -100..100. */
VORNALIX_API void vornalix_set_texture(VornalixContext* ctx, float value);
/** Dehaze, 0..100 (only positive values act). */
VORNALIX_API void vornalix_set_dehaze(VornalixContext* ctx, float value);

/**
 * Replaces tone curve `channel` (0 master, 1 red, 2 green, 3 blue) with
 * `count` points given as x0, y0, x1, y1, ... (0..1).  Nothing changes when
 * the channel is out of range, `points` is NULL or `count` is below 2.
 */
VORNALIX_API void vornalix_set_tone_curve(VornalixContext* ctx, int channel, const float* points, int count);
/** Resets tone curve `channel` (0..3) to the identity (0,0), (1,1). */
VORNALIX_API void vornalix_reset_tone_curve(VornalixContext* ctx, int channel);
/**
 * HSL band 0..7 (red, orange, yellow, green, aqua, blue, purple, magenta):
 * hue shift, saturation and luminance, each -100..100.
 */
VORNALIX_API void vornalix_set_hsl(VornalixContext* ctx, int band, float hue, float saturation, float luminance);
/**
 * Split toning.  Region 0 sets the highlight hue (degrees), saturation
 * (0..100) and the balance (-100..100); any other region sets the shadow hue
 * and saturation and ignores the balance.
 */
VORNALIX_API void vornalix_set_split_toning(VornalixContext* ctx, int region, float hue, float saturation, float balance);
/**
 * Lens profile when non-zero: distortion, chromatic aberration and
 * vignetting corrected from the lens database for the loaded RAW file's
 * camera, lens, focal length and aperture, before the manual lens
 * corrections.  Nothing changes when no profile matched.
 */
VORNALIX_API void vornalix_set_lens_profile(VornalixContext* ctx, int value);
/** Lens distortion correction, -100..100. */
VORNALIX_API void vornalix_set_distortion(VornalixContext* ctx, float value);
/** Chromatic-aberration correction, 0..100 (only positive values act). */
VORNALIX_API void vornalix_set_ca_correction(VornalixContext* ctx, float value);
/** Lens vignetting correction, 0..100 (only positive values act). */
VORNALIX_API void vornalix_set_lens_vignette(VornalixContext* ctx, float value);
/** Defringe, 0..100. */
VORNALIX_API void vornalix_set_defringe(VornalixContext* ctx, float value);
/** Crop rectangle as fractions of width and height; w or h of 0 means no crop. */
VORNALIX_API void vornalix_set_crop(VornalixContext* ctx, float x, float y, float w, float h);
/** Rotation in degrees, -45..45. */
VORNALIX_API void vornalix_set_rotation(VornalixContext* ctx, float value);
/** Horizontal perspective, -100..100. */
VORNALIX_API void vornalix_set_perspective_h(VornalixContext* ctx, float value);
/** Vertical perspective, -100..100. */
VORNALIX_API void vornalix_set_perspective_v(VornalixContext* ctx, float value);
/** Mirror left to right when non-zero. */
VORNALIX_API void vornalix_set_flip_h(VornalixContext* ctx, int value);
/** Mirror top to bottom when non-zero. */
VORNALIX_API void vornalix_set_flip_v(VornalixContext* ctx, int value);
/** Post-crop vignette amount, -100..100 (positive darkens the edges, negative lightens them). */
VORNALIX_API void vornalix_set_vignette_amount(VornalixContext* ctx, float value);
/** Vignette midpoint, 0..100 (default 50). */
VORNALIX_API void vornalix_set_vignette_midpoint(VornalixContext* ctx, float value);
/** Vignette roundness, -100..100. */
VORNALIX_API void vornalix_set_vignette_roundness(VornalixContext* ctx, float value);
/** Film grain amount, 0..100. */
VORNALIX_API void vornalix_set_grain_amount(VornalixContext* ctx, float value);
/** Film grain size, 0..100 (default 25). */
VORNALIX_API void vornalix_set_grain_size(VornalixContext* ctx, float value);
/** Every edit setting back to its default; the next export renders again. */
VORNALIX_API void vornalix_reset_adjustments(VornalixContext* ctx);

/* ------------------------------------------------------------------------ */
/* Loading                                                                  */
/* ------------------------------------------------------------------------ */

/**
 * Loads a photograph, replacing the loaded one.  Paths ending in .jpg,
 * .jpeg, .png, .tif, .tiff, .bmp or .webp (any letter case) are read as
 * standard images (JPEG, PNG, TIFF, BMP or WebP by content) and, by default,
 * reduced to at most 4096 pixels on the long side; every other path is
 * developed as a camera RAW file to 16-bit sRGB and, by default, reduced to at
 * most 2000 pixels (see vornalix_set_size_limit).
 * `scale` (clamped to 1..4, RAW files only): 1 full size, 2 and 3 half-size
 * decoding, 4 half-size decoding halved once more.  Files whose header claims
 * more than 200 megapixels are refused before decoding.
 * On success every edit setting returns to its default.  Returns 0, or -1
 * with a message; a failed load keeps the previous image and its settings.
 */
VORNALIX_API int vornalix_load_arw(VornalixContext* ctx, const char* path, int scale);
/**
 * Chooses the working size of the next loads: a negative `long_side` the
 * default bounds above, 0 the image's own size, N > 0 a long side of at most
 * N pixels (reduced with area averaging, never enlarged).  Settings measured
 * in pixels (sharpening radius, noise-reduction kernels, clarity, texture and
 * dehaze blurs, grain size, background blur) grow with the working size, so
 * a larger working size keeps the look of the default one.  Kept across
 * loads.  Returns 0; -1 for a NULL ctx.
 */
VORNALIX_API int vornalix_set_size_limit(VornalixContext* ctx, int long_side);
/**
 * The loaded image's size before the size limit reduced it (for a RAW file
 * decoded at `scale` 2..4, the half or quarter size).  0, or -1 when nothing
 * is loaded or a pointer is NULL.
 */
VORNALIX_API int vornalix_get_full_size(VornalixContext* ctx, int* width, int* height);
/** Forgets the loaded image and its renderings; settings and mask stay. */
VORNALIX_API void vornalix_unload(VornalixContext* ctx);
/**
 * Width in pixels of the last rendering while it is current (after
 * vornalix_process or vornalix_get_preview, until the next load, unload or
 * reset), otherwise of the loaded image; 0 when nothing is loaded or ctx is
 * NULL.
 */
VORNALIX_API int vornalix_get_width(VornalixContext* ctx);
/** Height in pixels; the same rules as vornalix_get_width. */
VORNALIX_API int vornalix_get_height(VornalixContext* ctx);

/* ------------------------------------------------------------------------ */
/* Rendering and preview                                                    */
/* ------------------------------------------------------------------------ */

/** Renders the loaded image with the current settings.  0, or -1 ("no image loaded"). */
VORNALIX_API int vornalix_process(VornalixContext* ctx);
/**
 * Renders and copies the 8-bit preview into `out`: rows top to bottom,
 * pixels R, G, B, A, no padding, vornalix_get_width x vornalix_get_height x 4
 * bytes.  With a subject mask and a background blur above 0 the background
 * is blurred in the preview only.  Returns 0; -1 with "no image loaded",
 * "pipeline produced empty result" or "output buffer too small" (then `out`
 * is untouched and the size queries give the size needed).
 */
VORNALIX_API int vornalix_get_preview(VornalixContext* ctx, unsigned char* out, int out_size);
/**
 * The same preview at the rendering's full 16 bits (0..65535 per sample) for
 * hosts doing their own colour work; `out_bytes` is the buffer's size in
 * bytes, vornalix_get_width x vornalix_get_height x 8 needed.  Returns and
 * fails as vornalix_get_preview.
 */
VORNALIX_API int vornalix_get_preview16(VornalixContext* ctx, unsigned short* out, int out_bytes);

/* ------------------------------------------------------------------------ */
/* Export and histogram                                                     */
/* ------------------------------------------------------------------------ */

/*
 * The exports write the rendered image (rendering first only when nothing has
 * been rendered since the last load, unload or reset) and never write alpha.
 * The path's extension decides the file format.  A file is written beside
 * the target under a temporary name and renamed over it when complete, so a
 * failed export leaves an existing file untouched.  The formats are JPEG,
 * PNG, TIFF, WebP and BMP; any other extension fails and writes nothing.
 * 16-bit data aimed at a format that holds only 8 bits (.jpg, .bmp, .webp)
 * is written as 8-bit.
 */

/*
 * Output colour spaces.  Every file the library writes (exports and the
 * cut-out) carries the ICC profile of its pixels, and a copied EXIF
 * ColorSpace tag agrees with it (1 for sRGB, 0xFFFF otherwise).  The
 * rendered picture is sRGB; another space is converted to from it in
 * floating point when the file is written.  ProPhoto RGB is meant for
 * 16-bit files (TIFF, 16-bit PNG): in 8 bits its 256 levels stretch over a
 * gamut far wider than a photograph's colours, so smooth skies and skin
 * band.
 */
#define VORNALIX_PROFILE_SRGB 0
#define VORNALIX_PROFILE_ADOBE_RGB 1
#define VORNALIX_PROFILE_DISPLAY_P3 2
#define VORNALIX_PROFILE_PROPHOTO 3

/**
 * Chooses the colour space of the files written from now on (one of the
 * VORNALIX_PROFILE_ values; sRGB when never called).  It is kept across
 * loads and resets.  0, or -1 ("unknown output profile", nothing changed).
 */
VORNALIX_API int vornalix_set_output_profile(VornalixContext* ctx, int profile);

/**
 * Writes an 8-bit JPEG at `quality` (clamped to 1..100).  `reserved` has no
 * effect.  With `keep_exif` non-zero the EXIF block of the loaded file (taken
 * before anything is written, its Orientation set to 1) is embedded; a
 * missing block is no failure.  0, or -1 ("JPEG write failed").
 */
VORNALIX_API int vornalix_export_jpeg(VornalixContext* ctx, const char* path, int quality, int reserved,
                                      int keep_exif);
/**
 * Whether the PNG and TIFF exports embed the loaded file's EXIF block as the
 * JPEG export does with `keep_exif` (off when never called; kept across
 * loads and resets).  0, or -1 for a null context.
 */
VORNALIX_API int vornalix_set_keep_exif(VornalixContext* ctx, int keep);
/** Writes a 16-bit, three-channel TIFF.  0, or -1 ("TIFF write failed"). */
VORNALIX_API int vornalix_export_tiff(VornalixContext* ctx, const char* path);
/** Writes a PNG of 16 bits per sample when `bits` is 16, else 8.  0, or -1 ("PNG write failed"). */
VORNALIX_API int vornalix_export_png(VornalixContext* ctx, const char* path, int bits);
/**
 * Fills four caller arrays of 256 counters (red, green, blue, Rec. 709
 * luminance) from the rendered image; bin = value x 255 rounded, clamped to
 * 0..255.  Renders (and marks the image rendered) when nothing has been
 * rendered since the last load, unload or reset.  0 or -1.
 */
VORNALIX_API int vornalix_get_histogram(VornalixContext* ctx, unsigned int* red, unsigned int* green,
                                        unsigned int* blue, unsigned int* luminance);

/* ------------------------------------------------------------------------ */
/* EXIF                                                                     */
/* ------------------------------------------------------------------------ */

/**
 * Camera metadata of the loaded file.  Text fields are NUL-terminated and
 * empty when absent; absent numbers are 0; the GPS fields are NaN when the
 * file holds no usable coordinate.
 */
typedef struct VornalixExif {
    char make[64];           /* camera maker */
    char model[64];          /* camera model */
    char lens[128];          /* lens model */
    float focal_length;      /* millimetres */
    float aperture;          /* f-number */
    float exposure_time;     /* seconds */
    int32_t iso;             /* ISO speed */
    char datetime[32];       /* capture time as stored, "YYYY:MM:DD HH:MM:SS" */
    int32_t width;           /* pixels */
    int32_t height;          /* pixels */
    int32_t orientation;     /* EXIF orientation code as stored */
    double gps_latitude;     /* signed decimal degrees, south negative */
    double gps_longitude;    /* signed decimal degrees, west negative */
} VornalixExif;

/**
 * Fills `out` from the EXIF block of the last loaded file, or, when it has
 * none, from the shot data the RAW decoder kept.  0; -1 for a null argument
 * or when no file is loaded ("no file loaded").
 */
VORNALIX_API int vornalix_get_exif(VornalixContext* ctx, VornalixExif* out);

/**
 * The lens profile matched when the file was loaded: 1 when one was found,
 * with its name copied into `name` (NUL-terminated, at most `size` - 1
 * characters; `name` may be null); 0 when none was (a standard image, or a
 * camera or lens the database lacks); -1 for a null context or when no file
 * is loaded.
 */
VORNALIX_API int vornalix_lens_profile_info(VornalixContext* ctx, char* name, int size);

/* ------------------------------------------------------------------------ */
/* Automatic analyses                                                       */
/*                                                                          */
/* Each measures a reduced copy of the loaded image as it was loaded (no    */
/* edit applied) and only reports: no setting changes.  All return 0, or -1 */
/* for a null pointer (no message) or "no image loaded".                    */
/* ------------------------------------------------------------------------ */

/**
 * Suggested settings in `out`, 32 floats: entries 0..15 follow the setters
 * exposure, brightness, contrast, highlights, shadows, whites, blacks,
 * temperature, tint, saturation, vibrance, sharpening amount, radius and
 * threshold, luminance and colour noise reduction.  Entries 11..13 and
 * 16..31 are always 0 (11..13 would switch sharpening off if applied).
 * The array is untouched on failure.
 */
VORNALIX_API int vornalix_auto_enhance(VornalixContext* ctx, float* out);
/** Suggested white balance: temperature in kelvin and tint (6500 and 0). */
VORNALIX_API int vornalix_auto_white_balance(VornalixContext* ctx, float* temperature, float* tint);
/** Suggested exposure correction in EV, -1..1, from the median luminance. */
VORNALIX_API int vornalix_auto_exposure(VornalixContext* ctx, float* ev);
/**
 * The tilt of the dominant near-horizontal lines, negated, in degrees
 * (-45..45; 0 when there are none).  Lines falling to the right give a
 * negative value; to level them, pass the negated value to
 * vornalix_set_rotation.
 */
VORNALIX_API int vornalix_auto_straighten(VornalixContext* ctx, float* degrees);
/**
 * Suggested crop of aspect 3:2 that keeps 2 % of each side clear, as
 * fractions of the width and height, ready for vornalix_set_crop.
 */
VORNALIX_API int vornalix_auto_crop(VornalixContext* ctx, float* x, float* y, float* w, float* h);
/**
 * The camera's look: tone curve `channel` (0 master, 1 red, 2 green, 3 blue)
 * of the set that gives the loaded RAW file's development the tones of the
 * camera's own embedded JPEG.  The master curve matches the two pictures'
 * luminance distributions, each colour curve then that channel's; a colour
 * curve that would barely differ from the diagonal is the identity pair.
 * Writes the points (16, x rising evenly from 0 to 1, y never falling; 2 for
 * the identity) as x0, y0, x1, y1, ... into `points`, which holds room for
 * `max_points` points, and their number into `count`, ready for
 * vornalix_set_tone_curve(ctx, channel, points, count).  -1 with a message
 * for a standard image, a RAW file without an embedded picture, a channel
 * outside 0..3 or room for fewer than 16 points.
 */
VORNALIX_API int vornalix_camera_curve(VornalixContext* ctx, int channel, float* points, int max_points, int* count);
/**
 * The rest of the camera's look: the saturation (-100..100, for
 * vornalix_set_saturation) that gives the development, through the camera's
 * curves, the mean colourfulness of the camera's JPEG.  Each curve follows
 * one channel's tones alone and leaves how far a pixel's colours lie apart
 * to this.  0 for a grey picture; -1 with a message where
 * vornalix_camera_curve fails.
 */
VORNALIX_API int vornalix_camera_saturation(VornalixContext* ctx, float* saturation);
/**
 * A white balance that measures the picture's cast: the temperature and tint
 * for vornalix_set_temperature and vornalix_set_tint that make a mean of its
 * trustworthy pixels grey (clipped, very dark and strongly coloured pixels
 * left out; bright near-grey surfaces weigh most), within the setters'
 * ranges (2000..12000 K, tint -150..150).  6500 and 0 for a neutral picture
 * or one with no such pixels.
 */
VORNALIX_API int vornalix_measure_white_balance(VornalixContext* ctx, float* temperature, float* tint);

/* ------------------------------------------------------------------------ */
/* Subject segmentation                                                     */
/* ------------------------------------------------------------------------ */

/**
 * Separates the subject around (subject_x, subject_y), fractions of the
 * width and height (a negative value means the centre on that axis), and
 * keeps a soft mask (255 subject, 0 background) at the loaded image's size.
 * 0 on success; -1 "no image loaded"; -2 "GrabCut failed" (also when the
 * point leaves no room for the subject rectangle), the earlier mask kept.
 */
VORNALIX_API int vornalix_segment_subject(VornalixContext* ctx, float subject_x, float subject_y);
/**
 * Background blur of the preview behind the subject, whose mask follows the
 * rendering's geometry as in the cut-out; 0..100 (clamped; 0 = off).
 */
VORNALIX_API void vornalix_set_bg_blur(VornalixContext* ctx, float amount);
/**
 * Copies the mask, rows x cols bytes row by row (size: vornalix_get_width
 * and vornalix_get_height before any rendering).  -1 when there is no mask;
 * -2 "output buffer too small" when buffer_size is too small.
 */
VORNALIX_API int vornalix_get_mask(VornalixContext* ctx, unsigned char* buffer, int buffer_size);
/**
 * Writes the rendered image with the mask as alpha (PNG, 8 bits), the mask
 * moved as the rendering moved the picture (lens corrections, flips,
 * rotation, perspective, crop).  -1 for no mask, no image loaded, or a mask
 * made on an image of another size (after another load: segment again); -2
 * "failed to write PNG".  Nothing is written on failure.
 */
VORNALIX_API int vornalix_export_subject_png(VornalixContext* ctx, const char* path);

/* ------------------------------------------------------------------------ */
/* File utilities (no context)                                              */
/* ------------------------------------------------------------------------ */

/**
 * A JPEG preview of an image file, without developing it.  A JPEG, PNG,
 * TIFF, BMP or WebP file (chosen by the path's extension, any letter case)
 * is reduced to at most 160 pixels on its longer side and encoded at quality
 * 75; a RAW file yields the camera's embedded JPEG byte for byte, or its
 * embedded bitmap encoded at quality 80.
 *
 * On success *data points at a block of *size bytes that the caller
 * releases with vornalix_free_thumb.  *data and *size are cleared first.
 * Returns 0; -1 when a pointer is NULL, the file cannot be read or encoded,
 * or the RAW file cannot be opened; -2 when the RAW file has no thumbnail;
 * -3 when its thumbnail cannot be made into an image; -4 when the block
 * cannot be allocated (*data stays NULL, *size holds the requested size).
 */
VORNALIX_API int vornalix_extract_thumbnail(const char* path, unsigned char** data, unsigned int* size);
/** Releases a block from vornalix_extract_thumbnail; NULL is allowed. */
VORNALIX_API void vornalix_free_thumb(void* data);

/**
 * A 64-bit perceptual hash of an image file: visually similar pictures give
 * hashes that differ in few bits (compare by Hamming distance).  RAW files
 * are hashed through their embedded thumbnail.  *hash is set to 0 first and
 * stays 0 on failure.  Returns 0; -1 when a pointer is NULL, the image
 * cannot be read or the RAW file cannot be opened; -2 when the RAW file has
 * no thumbnail; -3 when its thumbnail cannot be made into an image; -4 when
 * the thumbnail cannot be decoded.
 */
VORNALIX_API int vornalix_phash(const char* path, unsigned long long* hash);

/* ------------------------------------------------------------------------ */
/* Settings documents                                                       */
/* ------------------------------------------------------------------------ */

/*
 * A settings document is the whole edit of a context as JSON text:
 *
 *   {"version": 1, "exposure": 0.5, "contrast": 20, ...,
 *    "crop": [x, y, w, h],
 *    "tone_curve": {"master": [[0, 0], [0.5, 0.6], [1, 1]], "red": ...},
 *    "hsl": {"orange": [hue, saturation, luminance], ...},
 *    "split_toning": {"highlight": [hue, saturation],
 *                     "shadow": [hue, saturation], "balance": 0}}
 *
 * Keys are the setter names without "vornalix_set_"; single values are
 * numbers (flip_h and flip_v whole numbers); tone curves are named master,
 * red, green and blue, HSL bands red, orange, yellow, green, aqua, blue,
 * purple and magenta.  Omitted keys take the defaults.  The background blur
 * is not part of the edit.  Numbers are read and written as single
 * precision, so a document read back gives the same settings bit for bit.
 */

/**
 * Writes the context's current settings as a NUL-terminated document into
 * `buf` and returns the number of bytes used, the NUL included.  With `buf`
 * NULL nothing is written and the size needed is returned.  -2 when `size`
 * is smaller than needed (`buf` untouched); -1 with a message naming the key
 * when a setting is not finite (NaN or infinity cannot be written in JSON).
 */
VORNALIX_API int vornalix_settings_to_json(VornalixContext* ctx, char* buf, int size);
/**
 * Reads a settings document and makes it the context's whole edit (keys left
 * out take their defaults); the next export or histogram renders again.  The
 * document is checked completely first: on any fault (not JSON, not an
 * object, an unknown or repeated key, a wrong type, a value that is not
 * finite, a curve of fewer than 2 points, an unsupported version) -1 is
 * returned with a message naming the key and no setting changes.  A load
 * resets the settings, so apply a document after loading.
 */
VORNALIX_API int vornalix_settings_from_json(VornalixContext* ctx, const char* json);
/**
 * The edit settings with their documented ranges, for front-ends, as a JSON
 * object (static storage, never freed): {"version": 1, "settings": [{"key",
 * "type" ("float" or "int"), "default", "front_end_default" (the command
 * line's and Python's starting value), "min", "max" (the documented range),
 * "flag" (the command line's), "unit", "suggestion" (the vornalix_auto_enhance
 * entry that feeds it, or null)}, ...], "parts": {NAME: {"min", "max"}},
 * "outputs": {NAME: {"front_end_default", "min", "max"}}}, the settings in the
 * order of the setters; the parts are the documented ranges of tone_curve
 * points, hsl values, split_toning_hue, split_toning_saturation,
 * split_toning_balance and crop values; the outputs are the front-ends'
 * export options jpeg_quality and keep_exif (1: a JPEG keeps the source's
 * EXIF).
 */
VORNALIX_API const char* vornalix_settings_schema(void);

#ifdef __cplusplus
}
#endif

#endif /* VORNALIX_H */
