// Pictures compressed with libjpeg into memory, for the tests that read them back.
#pragma once

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace testsupport {

// Compresses a picture with libjpeg into memory: `components` samples a pixel in colour space `space`,
// the defaults changed by configure(c), and the samples of row y at rowAt(y).
template <class Configure, class RowAt>
QByteArray Encode(int w, int h, int components, J_COLOR_SPACE space, Configure&& configure, RowAt&& rowAt) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    configure(c);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; ++y) {
        JSAMPROW r = rowAt(y);
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    QByteArray data(reinterpret_cast<const char*>(out), qsizetype(size));
    jpeg_destroy_compress(&c);
    std::free(out);
    return data;
}

} // namespace testsupport
