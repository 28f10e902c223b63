// The readers of the lights, cameras, images, textures and materials sections.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <string>

#include "document/storage.h"
#include "reader/section_readers.h"

namespace bxml {
namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

// Parses text (one section element) and returns that element.
const XMLElement* parseSection(XMLDocument& xml, const std::string& text) {
    EXPECT_EQ(xml.Parse(text.c_str()), tinyxml2::XML_SUCCESS) << text;
    return xml.RootElement();
}

using SectionReader = int (*)(const XMLElement*, SceneDocument&, Diagnostics*);

// Runs reader on the section text and expects it to succeed.
void readSection(SceneDocument& doc, SectionReader reader, const std::string& text) {
    XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    ASSERT_EQ(reader(parseSection(xml, text), doc, nullptr), 1) << text;
}

// --- the shared frame ----------------------------------------------------------

TEST(SectionFrame, MissingSectionChangesNothing) {
    SceneDocument doc;
    doc.lights.resize(2);
    doc.lightsInFile = 2;
    for (SectionReader reader : {readLights, readCameras, readImages, readTextures, readMaterials}) {
        EXPECT_EQ(reader(nullptr, doc, nullptr), 1);
    }
    EXPECT_EQ(doc.lights.size(), 2u);
    EXPECT_EQ(doc.lightsInFile, 2);
    EXPECT_TRUE(doc.cameras.empty());
    EXPECT_TRUE(doc.materials.empty());
}

TEST(SectionFrame, EmptySectionSetsTotalZeroAndKeepsArray) {
    SceneDocument doc;
    doc.cameras.resize(3);
    doc.camerasInFile = 3;
    readSection(doc, readCameras, "<cameras><light name='x'/></cameras>");
    EXPECT_EQ(doc.camerasInFile, 0);
    EXPECT_EQ(doc.cameras.size(), 3u);
}

TEST(SectionFrame, OnlyItemElementsCountAndFillInDocumentOrder) {
    SceneDocument doc;
    doc.textures.resize(5);
    readSection(doc, readTextures,
                "<textures><texture name='a'/><note/><Texture name='no'/>"
                "<texture name='b'/><!-- c --><texture name='c'/></textures>");
    ASSERT_EQ(doc.textures.size(), 3u);
    EXPECT_EQ(doc.texturesInFile, 3);
    EXPECT_STREQ(doc.textures[0].name.c_str(), "a");
    EXPECT_STREQ(doc.textures[1].name.c_str(), "b");
    EXPECT_STREQ(doc.textures[2].name.c_str(), "c");
}

TEST(SectionFrame, HugeNameIsCutAt255Characters) {
    SceneDocument doc;
    const std::string huge(1 << 20, 'n');
    readSection(doc, readLights, "<lights><light name='" + huge + "' type='omni'/></lights>");
    ASSERT_EQ(doc.lights.size(), 1u);
    EXPECT_EQ(std::string(doc.lights[0].name.c_str()), std::string(255, 'n'));
    EXPECT_STREQ(doc.lights[0].type.c_str(), "omni");
}

// --- lights ----------------------------------------------------------------------

TEST(ReadLights, FieldsAndDefaults) {
    SceneDocument doc;
    readSection(doc, readLights,
                "<lights>"
                "<light name='Sun' type='Directional'><color r='0.5' g='0.25' b='2'/>"
                "<radius>3.5</radius><intensity>0.125</intensity></light>"
                "<light/>"
                "</lights>");
    ASSERT_EQ(doc.lights.size(), 2u);
    EXPECT_EQ(doc.lightsInFile, 2);
    const LightRecord& sun = doc.lights[0];
    EXPECT_STREQ(sun.name.c_str(), "Sun");
    EXPECT_STREQ(sun.type.c_str(), "Directional");
    EXPECT_FLOAT_EQ(sun.color.r, 0.5f);
    EXPECT_FLOAT_EQ(sun.color.g, 0.25f);
    EXPECT_FLOAT_EQ(sun.color.b, 2.0f);
    EXPECT_FLOAT_EQ(sun.color.a, 1.0f);
    EXPECT_FLOAT_EQ(sun.radius, 3.5f);
    EXPECT_FLOAT_EQ(sun.intensity, 0.125f);
    EXPECT_FLOAT_EQ(sun.spotAngle, 20.0f);
    EXPECT_FLOAT_EQ(sun.spotInnerAngle, 10.0f);

    const LightRecord& bare = doc.lights[1];
    EXPECT_TRUE(bare.name.empty());
    EXPECT_TRUE(bare.type.empty());
    EXPECT_FLOAT_EQ(bare.color.r, 1.0f);
    EXPECT_FLOAT_EQ(bare.radius, 1.0f);
    EXPECT_FLOAT_EQ(bare.intensity, 1.0f);
    EXPECT_EQ(bare.placed, 0);
}

TEST(ReadLights, ColorNeedsAllThreeAttributes) {
    SceneDocument doc;
    readSection(doc, readLights, "<lights><light><color r='0' g='0'/></light></lights>");
    const Color& c = doc.lights[0].color;
    EXPECT_FLOAT_EQ(c.r, 1.0f);
    EXPECT_FLOAT_EQ(c.g, 1.0f);
    EXPECT_FLOAT_EQ(c.b, 1.0f);
}

TEST(ReadLights, SpotInnerAngleIsTenLessButNeverNegative) {
    SceneDocument doc;
    readSection(doc, readLights,
                "<lights><light><spot angle='5'/></light><light><spot angle='30'/></light>"
                "<light><spot/></light></lights>");
    EXPECT_FLOAT_EQ(doc.lights[0].spotAngle, 5.0f);
    EXPECT_FLOAT_EQ(doc.lights[0].spotInnerAngle, 0.0f);
    EXPECT_FLOAT_EQ(doc.lights[1].spotAngle, 30.0f);
    EXPECT_FLOAT_EQ(doc.lights[1].spotInnerAngle, 20.0f);
    EXPECT_FLOAT_EQ(doc.lights[2].spotAngle, 20.0f);
    EXPECT_FLOAT_EQ(doc.lights[2].spotInnerAngle, 10.0f);
}

TEST(ReadLights, FirstChildOfANameCountsAndEmptyTextKeepsDefault) {
    SceneDocument doc;
    readSection(doc, readLights,
                "<lights><light><radius>4</radius><radius>8</radius><intensity></intensity></light></lights>");
    EXPECT_FLOAT_EQ(doc.lights[0].radius, 4.0f);
    EXPECT_FLOAT_EQ(doc.lights[0].intensity, 1.0f);
}

// --- cameras ---------------------------------------------------------------------

struct ClipCase {
    const char* clip;
    float nearClip;
    float farClip;
};

TEST(ReadCameras, ClipAdjustment) {
    const ClipCase cases[] = {
        {"<clip near='10' far='5'/>", 4.0f, 5.0f},
        {"<clip near='0.5' far='0.2'/>", 0.0f, 0.2f},
        {"<clip/>", 1.0f, 1000.0f},
        {"<clip near='-3' far='50'/>", 0.0f, 50.0f},
        {"<clip near='2' far='-1'/>", 0.0f, 0.0f},
        {"<clip near='2000'/>", 999.0f, 1000.0f},
        {"<clip far='0.5'/>", 0.0f, 0.5f},
        {"", 1.0f, 1000.0f},
    };
    for (const ClipCase& c : cases) {
        SceneDocument doc;
        readSection(doc, readCameras, std::string("<cameras><camera>") + c.clip + "</camera></cameras>");
        ASSERT_EQ(doc.cameras.size(), 1u);
        EXPECT_FLOAT_EQ(doc.cameras[0].nearClip, c.nearClip) << c.clip;
        EXPECT_FLOAT_EQ(doc.cameras[0].farClip, c.farClip) << c.clip;
    }
}

TEST(ReadCameras, FovIsClampedTo0Through180) {
    SceneDocument doc;
    readSection(doc, readCameras,
                "<cameras><camera><fov>200</fov></camera><camera><fov>-3</fov></camera>"
                "<camera><fov>60.5</fov></camera><camera name='C' type='persp'/></cameras>");
    EXPECT_FLOAT_EQ(doc.cameras[0].fov, 180.0f);
    EXPECT_FLOAT_EQ(doc.cameras[1].fov, 0.0f);
    EXPECT_FLOAT_EQ(doc.cameras[2].fov, 60.5f);
    EXPECT_FLOAT_EQ(doc.cameras[3].fov, 45.0f);
    EXPECT_STREQ(doc.cameras[3].name.c_str(), "C");
    EXPECT_STREQ(doc.cameras[3].type.c_str(), "persp");
}

// --- images ----------------------------------------------------------------------

TEST(ReadImages, UrlBecomesBareFileNameWithExtension) {
    SceneDocument doc;
    readSection(doc, readImages,
                "<images>"
                "<image name='a' url='C:\\Users\\me\\textures\\wood.png'/>"
                "<image name='b' url='/home/me/maps/stone.tga'/>"
                "<image name='c' url='D:relative/mixed\\grass.jpg'/>"
                "<image name='d' url='plain.bmp'/>"
                "<image name='e'/>"
                "</images>");
    ASSERT_EQ(doc.images.size(), 5u);
    EXPECT_EQ(doc.imagesInFile, 5);
    EXPECT_STREQ(doc.images[0].name.c_str(), "a");
    EXPECT_EQ(std::wstring(doc.images[0].path.c_str()), L"wood.png");
    EXPECT_EQ(std::wstring(doc.images[1].path.c_str()), L"stone.tga");
    EXPECT_EQ(std::wstring(doc.images[2].path.c_str()), L"grass.jpg");
    EXPECT_EQ(std::wstring(doc.images[3].path.c_str()), L"plain.bmp");
    EXPECT_TRUE(doc.images[4].path.empty());
}

TEST(ReadImages, Utf8FileNameIsWidenedAsUtf8) {
    SceneDocument doc;
    readSection(doc, readImages, "<images><image url='/maps/B\xC3\xA4ume_\xE6\xA8\xB9.png'/></images>");
    EXPECT_EQ(std::wstring(doc.images[0].path.c_str()), L"B\u00E4ume_\u6A39.png");
}

TEST(ReadImages, LongFileNameIsBoundedTo254WideCharacters) {
    SceneDocument doc;
    readSection(doc, readImages, "<images><image url='/x/" + std::string(400, 'a') + ".png'/></images>");
    EXPECT_EQ(std::wstring(doc.images[0].path.c_str()), std::wstring(254, L'a'));
}

TEST(ReadImages, CutInsideAUtf8SequenceDropsThePartialCharacter) {
    // 300 two-byte characters: the 259-byte buffer ends in the middle of one.
    std::string name;
    for (int i = 0; i < 300; ++i) name += "\xC3\xA4";
    SceneDocument doc;
    readSection(doc, readImages, "<images><image url='C:\\t\\" + name + "'/></images>");
    EXPECT_EQ(std::wstring(doc.images[0].path.c_str()), std::wstring(129, L'\u00E4'));
}

// --- textures --------------------------------------------------------------------

TEST(ReadTextures, NameTypeAndImageName) {
    SceneDocument doc;
    readSection(doc, readTextures,
                "<textures><texture name='Wood' type='image'><image>wood.png</image><image>x</image></texture>"
                "<texture name='Empty'><image/></texture></textures>");
    EXPECT_STREQ(doc.textures[0].name.c_str(), "Wood");
    EXPECT_STREQ(doc.textures[0].type.c_str(), "image");
    EXPECT_STREQ(doc.textures[0].imageName.c_str(), "wood.png");
    EXPECT_EQ(doc.textures[0].imageIndex, -1);
    EXPECT_TRUE(doc.textures[1].imageName.empty());
    EXPECT_TRUE(doc.textures[1].type.empty());
}

// --- materials -------------------------------------------------------------------

TEST(ReadMaterials, DefaultsWithoutChildren) {
    SceneDocument doc;
    readSection(doc, readMaterials, "<materials><material name='M'/></materials>");
    const MaterialRecord& m = doc.materials[0];
    EXPECT_STREQ(m.name.c_str(), "M");
    EXPECT_FLOAT_EQ(m.diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(m.diffuse.a, 1.0f);
    EXPECT_FLOAT_EQ(m.specular.r, 0.0f);
    EXPECT_FLOAT_EQ(m.specular.a, 1.0f);
    EXPECT_FLOAT_EQ(m.shininess, 128.0f);
    EXPECT_FLOAT_EQ(m.alpha, 1.0f);
    for (const MaterialTextureSlot& slot : m.slots) {
        EXPECT_TRUE(slot.textureName.empty());
        EXPECT_EQ(slot.textureIndex, -1);
    }
}

TEST(ReadMaterials, MapTypeChoosesTheSlotWithoutRegardToCase) {
    SceneDocument doc;
    readSection(doc, readMaterials,
                "<materials><material>"
                "<texture name='bump' map_type='bump'><uvset>B</uvset></texture>"
                "<texture name='n' map_type='NORMAL'><uvset>N</uvset></texture>"
                "<texture name='a' map_type='Alpha'/>"
                "<texture name='d' map_type='Diffuse Color' blend_type='mix'><uvset>D</uvset></texture>"
                "</material></materials>");
    const MaterialRecord& m = doc.materials[0];
    EXPECT_STREQ(m.slots[0].textureName.c_str(), "d");
    EXPECT_STREQ(m.slots[0].uvSetName.c_str(), "D");
    EXPECT_STREQ(m.slots[1].textureName.c_str(), "a");
    EXPECT_TRUE(m.slots[1].uvSetName.empty());
    EXPECT_STREQ(m.slots[2].textureName.c_str(), "n");
    EXPECT_STREQ(m.slots[2].uvSetName.c_str(), "N");
}

TEST(ReadMaterials, FirstTextureOfEachKindWins) {
    SceneDocument doc;
    readSection(doc, readMaterials,
                "<materials><material>"
                "<texture map_type='alpha'><uvset>ignored</uvset></texture>"
                "<texture name='first'><uvset>UV1</uvset></texture>"
                "<texture name='second' map_type='diffuse color'><uvset>UV2</uvset></texture>"
                "<texture name='mask' map_type='alpha'><uvset></uvset></texture>"
                "<texture name='mask2' map_type='alpha'><uvset>UV3</uvset></texture>"
                "</material></materials>");
    const MaterialRecord& m = doc.materials[0];
    EXPECT_STREQ(m.slots[0].textureName.c_str(), "first");
    EXPECT_STREQ(m.slots[0].uvSetName.c_str(), "UV1");
    // The nameless alpha texture does not take the slot; "mask" does, and its
    // uvset without text leaves the slot's uv set empty.
    EXPECT_STREQ(m.slots[1].textureName.c_str(), "mask");
    EXPECT_TRUE(m.slots[1].uvSetName.empty());
    EXPECT_TRUE(m.slots[2].textureName.empty());
}

TEST(ReadMaterials, AnEmptyTextureNameStillGivesItsUvSet) {
    // The slot stays unnamed, so the next texture of the kind takes it too;
    // its uvset has no text and leaves the first one's.
    SceneDocument doc;
    readSection(doc, readMaterials,
                "<materials><material>"
                "<texture name='' map_type='normal'><uvset>B</uvset></texture>"
                "<texture name='' map_type='alpha'><uvset>C</uvset></texture>"
                "<texture name='bump' map_type='normal'><uvset></uvset></texture>"
                "</material></materials>");
    const MaterialRecord& m = doc.materials[0];
    EXPECT_STREQ(m.slots[2].textureName.c_str(), "bump");
    EXPECT_STREQ(m.slots[2].uvSetName.c_str(), "B");
    EXPECT_TRUE(m.slots[1].textureName.empty());
    EXPECT_STREQ(m.slots[1].uvSetName.c_str(), "C");
}

TEST(ReadMaterials, ShininessAndAlphaAreClamped) {
    SceneDocument doc;
    readSection(doc, readMaterials,
                "<materials>"
                "<material><shininess>300</shininess><alpha>1.5</alpha></material>"
                "<material><shininess>-5</shininess><alpha>-0.5</alpha></material>"
                "<material><shininess>12.5</shininess><alpha>0.25</alpha></material>"
                "</materials>");
    EXPECT_FLOAT_EQ(doc.materials[0].shininess, 128.0f);
    EXPECT_FLOAT_EQ(doc.materials[0].alpha, 1.0f);
    EXPECT_FLOAT_EQ(doc.materials[1].shininess, 0.0f);
    EXPECT_FLOAT_EQ(doc.materials[1].alpha, 0.0f);
    EXPECT_FLOAT_EQ(doc.materials[2].shininess, 12.5f);
    EXPECT_FLOAT_EQ(doc.materials[2].alpha, 0.25f);
}

TEST(ReadMaterials, ColoursNeedAllThreeAttributesAndGetAlphaOne) {
    SceneDocument doc;
    readSection(doc, readMaterials,
                "<materials><material><diffuse r='0.1' g='0.2' b='0.3'/><specular r='0.5' g='0.5'/></material>"
                "</materials>");
    const MaterialRecord& m = doc.materials[0];
    EXPECT_FLOAT_EQ(m.diffuse.r, 0.1f);
    EXPECT_FLOAT_EQ(m.diffuse.g, 0.2f);
    EXPECT_FLOAT_EQ(m.diffuse.b, 0.3f);
    EXPECT_FLOAT_EQ(m.diffuse.a, 1.0f);
    EXPECT_FLOAT_EQ(m.specular.r, 0.0f);
    EXPECT_FLOAT_EQ(m.specular.g, 0.0f);
}

} // namespace
} // namespace bxml
