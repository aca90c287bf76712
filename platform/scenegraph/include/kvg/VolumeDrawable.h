#pragma once
// A volume: image data with a scalar field and usually a vector field. Its rendering (direct
// volume rendering or iso-surfaces), plane sections and particles are the work of the
// session's analysis managers, which find volumes through the node registry.
#include <string>

#include "kvg/Drawable.h"
#include "kvg/ImageDataNode.h"
#include "kvg/IsoSurfaceAttributes.h"
#include "kvg/VolumeRenderingAttributes.h"

namespace kvg {

class VolumeDrawable : public Drawable {
  KVG_NODE_TYPE(VolumeDrawable, Drawable)

 public:
  // The data node as image data; null when the data node is something else.
  ImageDataNode* getImageDataNode() const { return getDataNode().tryCast<ImageDataNode>(); }
  VolumeRenderingAttributes* hasVolumeRenderingAttributes() const { return findAttributes<VolumeRenderingAttributes>(); }
  IsoSurfaceAttributes* hasIsoSurfaceAttributes() const { return findAttributes<IsoSurfaceAttributes>(); }
};

}  // namespace kvg
