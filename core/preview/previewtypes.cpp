#include "core/preview/previewtypes.h"

#include "base/codec/imagecodec.h"
#include "core/filetypetable.h"

bool IsPreviewPictureType(uint32_t t) {
  return (t >= 44 && t <= 48) || t == 76 || t == 85 || t == 132 || t == 162 || IsPhotoType(int32_t(t));
}

bool IsPreviewDocumentType(uint32_t t) { return t == 36 || t == 37 || t == 38 || t == 87 || t == 89; }

bool IsPreviewTextType(uint32_t t) { return t == 79 || t == 161 || t == 163 || (t >= 165 && t <= 171); }

uint32_t CategoryToImageType(uint32_t t) {
  switch (t) {
    case 48: return kImageBmp;
    case 45: return kImageGif;
    case 46: return kImageJpeg;
    case 44: return kImagePng;
    case 162: return kImageIco;
    case 51: return kImageTiff;
    case 76: case 132: return kImageMetafile;
    case 47: return kImagePsd;
    case 49: case 50: case 52: case 92: case 98: case 99: case 100: case 101: case 102: case 103: case 104: case 144:
      return kImageRaw;
    default: return kImageUnknown;
  }
}
