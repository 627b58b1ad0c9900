#include "render/compositor.h"

#include <gtest/gtest.h>

TEST(Layer, ResizeDropsContentEvenAtTheSameSize) {
    Layer layer;
    layer.Resize(4, 4);
    ASSERT_EQ(layer.pixels.size(), 16u);
    for (RgbaDot& d : layer.pixels) d = {255, 0, 0, 255};
    layer.Resize(4, 4);
    for (const RgbaDot& d : layer.pixels) EXPECT_EQ(d, (RgbaDot{0, 0, 0, 0}));
    layer.Resize(3, 2);
    EXPECT_EQ(layer.width, 3);
    EXPECT_EQ(layer.height, 2);
    EXPECT_EQ(layer.pixels.size(), 6u);
    layer.Resize(-3, 2);
    EXPECT_EQ(layer.pixels.size(), 0u);
}

TEST(Layer, ClearKeepsTheSizeAndSettings) {
    Layer layer;
    layer.Resize(2, 3);
    layer.opacity = 0.5f;
    layer.blend = int32_t(LayerBlend::Add);
    layer.pixels[4] = {1, 2, 3, 4};
    layer.Clear();
    EXPECT_EQ(layer.pixels.size(), 6u);
    EXPECT_EQ(layer.pixels[4], (RgbaDot{0, 0, 0, 0}));
    EXPECT_EQ(layer.opacity, 0.5f);
    EXPECT_EQ(layer.blend, int32_t(LayerBlend::Add));
}

TEST(Layer, Defaults) {
    Layer layer;
    EXPECT_EQ(layer.opacity, 1.0f);
    EXPECT_EQ(layer.scale, 1.0f);
    EXPECT_EQ(layer.pivotX, -1.0f);
    EXPECT_EQ(layer.pivotY, -1.0f);
    EXPECT_EQ(layer.offsetX, 0.0f);
    EXPECT_EQ(layer.offsetY, 0.0f);
    EXPECT_EQ(layer.blend, int32_t(LayerBlend::Over));
    EXPECT_TRUE(layer.pixels.empty());
}
