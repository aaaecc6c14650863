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
 */
#ifndef VORNALIX_H
#define VORNALIX_H

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
/** The library's version, "1.0.0" (static storage). */
VORNALIX_API const char* vornalix_version(void);

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
/** Dehaze, -100..100. */
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
/** Lens distortion correction, -100..100. */
VORNALIX_API void vornalix_set_distortion(VornalixContext* ctx, float value);
/** Chromatic-aberration correction, -100..100. */
VORNALIX_API void vornalix_set_ca_correction(VornalixContext* ctx, float value);
/** Lens vignetting correction, -100..100. */
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
/** Post-crop vignette amount, -100..100 (negative darkens). */
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

/* ------------------------------------------------------------------------ */
/* Rendering and preview                                                    */
/* ------------------------------------------------------------------------ */

/* ------------------------------------------------------------------------ */
/* Export and histogram                                                     */
/* ------------------------------------------------------------------------ */

/* ------------------------------------------------------------------------ */
/* EXIF                                                                     */
/* ------------------------------------------------------------------------ */

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
/** Background blur of the preview behind the subject, 0..100 (clamped; 0 = off). */
VORNALIX_API void vornalix_set_bg_blur(VornalixContext* ctx, float amount);
/**
 * Copies the mask, rows x cols bytes row by row (size: vornalix_get_width
 * and vornalix_get_height before any rendering).  -1 when there is no mask;
 * -2 (no message) when buffer_size is too small.
 */
VORNALIX_API int vornalix_get_mask(VornalixContext* ctx, unsigned char* buffer, int buffer_size);
/**
 * Writes the rendered image with the mask as alpha (PNG, 8 bits).  -1 for no
 * mask, no image loaded, or a mask whose size differs from the rendered
 * image (after a crop, rotation or another load: segment again); -2 "failed
 * to write PNG".  Nothing is written on failure.
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

#ifdef __cplusplus
}
#endif

#endif /* VORNALIX_H */
