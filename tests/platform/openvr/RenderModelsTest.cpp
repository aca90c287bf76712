// Render models and textures: scripted "loading" answers and errors, and the generated shapes.
#include <gtest/gtest.h>
#include <openvr.h>

#include <cmath>
#include <string>

#include "SimulatedHeadset.h"

class RenderModels : public SimulatedHeadset {
 protected:
  void startModels(const std::string& script = "") {
    start(script);
    models = vr::VRRenderModels();
    ASSERT_NE(models, nullptr);
  }
  vr::IVRRenderModels* models = nullptr;
};

TEST_F(RenderModels, LoadingAnswersTheScriptedNumberOfTimesThenSucceeds) {
  startModels("loading render-model vrsim_controller 3\nloading texture 2");
  vr::RenderModel_t* model = nullptr;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(models->LoadRenderModel_Async("vrsim_controller", &model), vr::VRRenderModelError_Loading);
    EXPECT_EQ(model, nullptr);
  }
  ASSERT_EQ(models->LoadRenderModel_Async("vrsim_controller", &model), vr::VRRenderModelError_None);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->diffuseTextureId, 1);

  vr::RenderModel_TextureMap_t* texture = nullptr;
  EXPECT_EQ(models->LoadTexture_Async(model->diffuseTextureId, &texture), vr::VRRenderModelError_Loading);
  EXPECT_EQ(models->LoadTexture_Async(model->diffuseTextureId, &texture), vr::VRRenderModelError_Loading);
  ASSERT_EQ(models->LoadTexture_Async(model->diffuseTextureId, &texture), vr::VRRenderModelError_None);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->unWidth, 64);
  EXPECT_EQ(texture->unHeight, 64);
  EXPECT_NE(texture->rubTextureMapData, nullptr);

  // A second request hands out the same, still valid, model.
  vr::RenderModel_t* again = nullptr;
  EXPECT_EQ(models->LoadRenderModel_Async("vrsim_controller", &again), vr::VRRenderModelError_None);
  EXPECT_EQ(again, model);
  models->FreeRenderModel(model);
  EXPECT_GT(again->unVertexCount, 0u);
}

TEST_F(RenderModels, InjectedErrorsThenSuccess) {
  startModels("fail render-model * 301 times 2\nfail texture 400 times 1");
  vr::RenderModel_t* model = nullptr;
  EXPECT_EQ(models->LoadRenderModel_Async("vrsim_controller", &model), vr::VRRenderModelError_InvalidModel);
  EXPECT_EQ(models->LoadRenderModel_Async("vrsim_hmd", &model), vr::VRRenderModelError_InvalidModel);
  EXPECT_EQ(models->LoadRenderModel_Async("vrsim_controller", &model), vr::VRRenderModelError_None);
  vr::RenderModel_TextureMap_t* texture = nullptr;
  EXPECT_EQ(models->LoadTexture_Async(1, &texture), vr::VRRenderModelError_InvalidTexture);
  EXPECT_EQ(models->LoadTexture_Async(1, &texture), vr::VRRenderModelError_None);
  EXPECT_STREQ(models->GetRenderModelErrorNameFromEnum(vr::VRRenderModelError_Loading), "VRRenderModelError_Loading");
}

TEST_F(RenderModels, UnknownNamesAndTexturesAreErrors) {
  startModels("untextured-model plain_wand\nleft render-model plain_wand");
  vr::RenderModel_t* model = nullptr;
  EXPECT_EQ(models->LoadRenderModel_Async("no_such_model", &model), vr::VRRenderModelError_InvalidModel);
  EXPECT_EQ(models->LoadRenderModel_Async(nullptr, &model), vr::VRRenderModelError_InvalidArg);
  vr::RenderModel_TextureMap_t* texture = nullptr;
  EXPECT_EQ(models->LoadTexture_Async(77, &texture), vr::VRRenderModelError_InvalidTexture);
  // A device's own model name is served; this one without a texture.
  ASSERT_EQ(models->LoadRenderModel_Async("plain_wand", &model), vr::VRRenderModelError_None);
  EXPECT_EQ(model->diffuseTextureId, vr::INVALID_TEXTURE_ID);
  EXPECT_EQ(models->GetRenderModelCount(), 3u);
  char name[32];
  EXPECT_EQ(models->GetRenderModelName(0, name, sizeof name), std::string("plain_wand").size() + 1);
  EXPECT_STREQ(name, "plain_wand");
}

TEST_F(RenderModels, ShapesAreSoundMeshes) {
  startModels();
  for (const char* name : {"vrsim_controller", "vrsim_hmd"}) {
    vr::RenderModel_t* model = nullptr;
    ASSERT_EQ(models->LoadRenderModel_Async(name, &model), vr::VRRenderModelError_None) << name;
    ASSERT_GT(model->unTriangleCount, 10u);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (uint32_t v = 0; v < model->unVertexCount; ++v) {
      const vr::RenderModel_Vertex_t& vertex = model->rVertexData[v];
      const float* n = vertex.vNormal.v;
      EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0f, 1e-4);
      for (int k = 0; k < 2; ++k) {
        EXPECT_GE(vertex.rfTextureCoord[k], 0.0f);
        EXPECT_LE(vertex.rfTextureCoord[k], 1.0f);
      }
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], vertex.vPosition.v[k]);
        hi[k] = std::max(hi[k], vertex.vPosition.v[k]);
      }
    }
    for (uint32_t i = 0; i < model->unTriangleCount * 3; ++i) ASSERT_LT(model->rIndexData[i], model->unVertexCount);
    // Hand- or head-sized: between 5 and 30 cm along each axis.
    for (int k = 0; k < 3; ++k) {
      EXPECT_GT(hi[k] - lo[k], 0.05f) << name << " axis " << k;
      EXPECT_LT(hi[k] - lo[k], 0.30f) << name << " axis " << k;
    }
  }
}
