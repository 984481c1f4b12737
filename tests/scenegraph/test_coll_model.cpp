#include "coll_fixture.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "core/unpack.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// One triangle in a root leaf with the given box: a query passes the box exactly when the
// triangle is listed.
QcoImage single_leaf(QcoVec min, QcoVec max)
{
    QcoImage image;
    image.triangles = qco_quad({0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0});
    image.triangles.resize(1);
    image.root = {min, max, {0}, {}, {}, -1};
    return image;
}

QcoNode leaf(std::uint32_t triangle)
{
    return {{0, 0, 0}, {1, 1, 1}, {triangle}, {}, {}, -1};
}

// A triangle list the size of the room, with a tree of depth 2.
QcoImage room()
{
    QcoImage image = qco_image(qco_box_room({-4, 0, -4}, {4, 8, 4}), 2, 4);
    image.kept = {11, 22, 33, 44};
    return image;
}

using CollisionModelTest = CollisionTest;

} // namespace

TEST_F(CollisionModelTest, ParsesTrianglesTreeAndKeptValues)
{
    QcoImage image = room();
    parse(image);
    EXPECT_EQ(m_model.type_tag, COLL_MODEL_TAG);
    ASSERT_EQ(m_model.triangles.size(), 12u);
    EXPECT_EQ(std::vector<std::uint32_t>(m_model.tree.kept, m_model.tree.kept + 4),
              (std::vector<std::uint32_t>{11, 22, 33, 44}));

    const CollisionTriangle& floor = m_model.triangles[0];
    EXPECT_FLOAT_EQ(floor.normal.y, 1.0f);
    EXPECT_FLOAT_EQ(floor.d, 0.0f);
    EXPECT_FLOAT_EQ(floor.cross_length, 64.0f);
    EXPECT_NEAR(floor.centroid.x, (-4 - 4 + 4) / 3.0f, 1e-5f);
    const CollisionTriangle& ceiling = m_model.triangles[2];
    EXPECT_FLOAT_EQ(ceiling.normal.y, -1.0f);
    EXPECT_FLOAT_EQ(ceiling.d, 8.0f);

    ASSERT_NE(root(), nullptr);
    EXPECT_FLOAT_EQ(root()->box.min.x, -4);
    EXPECT_FLOAT_EQ(root()->box.max.y, 8);
    EXPECT_EQ(root()->triangle_count, 0u);
    EXPECT_EQ(root()->child_count, 8);
    for (int slot = 0; slot < 8; ++slot)
        EXPECT_NE(root()->children[slot], nullptr);
    // Every corner octant of a room touches three walls at least.
    const CollisionNode& corner = *root()->children[0];
    EXPECT_FLOAT_EQ(corner.box.max.x, 0);
    EXPECT_GE(corner.triangle_count + corner.child_count, 1u);
}

TEST_F(CollisionModelTest, RejectsCorruptFilesAndKeepsNothing)
{
    QcoImage deep = single_leaf({0, 0, 0}, {1, 1, 1});
    deep.root.triangles.clear();
    QcoNode* node = &deep.root;
    for (int depth = 0; depth < COLL_MAX_TREE_DEPTH + 1; ++depth) {
        node->children.push_back(leaf(0));
        node->children.back().triangles.clear();
        node = &node->children.back();
    }
    node->triangles = {0};
    QcoImage index_past_end = single_leaf({0, 0, 0}, {1, 1, 1});
    index_past_end.root.triangles = {0, 1};
    QcoImage nine_children = room();
    nine_children.root.child_count = 9;
    QcoImage bad_version = room();
    bad_version.version = 2;
    std::vector<std::uint8_t> bad_magic = qco_bytes(room());
    bad_magic[2] = 'M';
    std::vector<std::uint8_t> huge_count = qco_bytes(room());
    le_patch_u32(huge_count, 8, 0xFFFFFFFF);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        HRESULT result;
    };
    const Case cases[] = {
        {"wrong magic", bad_magic, ERR_UNKNOWN_FORMAT},
        {"version 2", qco_bytes(bad_version), ERR_UNMATCHED_VERSION},
        {"triangle count past the data", huge_count, ERR_UNSUPPORTED_FORMAT},
        {"triangle index past the end", qco_bytes(index_past_end), ERR_UNSUPPORTED_FORMAT},
        {"nine children", qco_bytes(nine_children), ERR_UNSUPPORTED_FORMAT},
        {"tree too deep", qco_bytes(deep), ERR_UNSUPPORTED_FORMAT},
        {"empty", {}, ERR_UNSUPPORTED_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parse(room());
        EXPECT_EQ(coll_model_parse(m_model, c.bytes), c.result);
        EXPECT_TRUE(m_model.triangles.empty());
        EXPECT_TRUE(m_model.nodes.empty());
        EXPECT_EQ(root(), nullptr);
    }
}

TEST_F(CollisionModelTest, EveryTruncationFailsCleanly)
{
    const std::vector<std::uint8_t> whole = qco_bytes(room());
    for (std::size_t size = 4; size < whole.size(); ++size) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        ASSERT_EQ(coll_model_parse(m_model, cut), ERR_UNSUPPORTED_FORMAT) << size << " bytes";
        ASSERT_EQ(root(), nullptr);
    }
    EXPECT_EQ(coll_model_parse(m_model, whole), S_OK);
}

TEST_F(CollisionModelTest, AcceptsTheDeepestTreeAllowed)
{
    QcoImage image = single_leaf({0, 0, 0}, {1, 1, 1});
    image.root.triangles.clear();
    QcoNode* node = &image.root;
    for (int depth = 0; depth < COLL_MAX_TREE_DEPTH; ++depth) {
        node->children.push_back(leaf(0));
        node->children.back().triangles.clear();
        node = &node->children.back();
    }
    node->triangles = {0};
    parse(image);
    coll_query_swept(root(), sweep_of({0.5f, 0.5f, 0.5f}, {0, 0, 0}), 0.1f);
    EXPECT_EQ(listed(), std::vector<std::uint32_t>{0});
}

// ---- Loading from the archive and from disk -------------------------------------------------------

namespace {

class CollisionLoadTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        m_block.assign(0x10000, 0);
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        m_bytes = qco_bytes(room());
        const std::vector<ArchiveSource> files = {
            {"map\\room.qco.z", packed_build(m_bytes)},
            {"map\\bad.qco.z", packed_build(std::vector<std::uint8_t>{1, 2, 3})}};
        mount(files, {});
    }
    void TearDown() override
    {
        coll_model_free(m_model);
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    std::vector<std::uint8_t> m_bytes;
    CollisionModel m_model;
    WorkBlock m_saved_block;
    std::vector<std::uint8_t> m_block;
};

} // namespace

TEST_F(CollisionLoadTest, ReadsPackedEntriesAndDiskFilesAndGivesTheBlockBack)
{
    const std::string disk = m_folder.windows("room.qco");
    ASSERT_TRUE(tools_write_file(m_folder.path() / "room.qco", m_bytes));
    const std::string disk_packed_name = m_folder.windows("nowhere.qco.z");
    struct Case {
        std::string path;
        HRESULT result;
    };
    const Case cases[] = {
        {"map\\room.qco.z", S_OK},
        {"MAP\\ROOM.QCO.Z", S_OK},
        {disk, S_OK},
        {"map\\missing.qco.z", ERR_OPEN_FILE},
        {m_folder.windows("missing.qco"), ERR_OPEN_FILE},
        {disk_packed_name, ERR_OPEN_FILE}, // a ".z" path is never read from disk
        {"map\\bad.qco.z", ERR_UNSUPPORTED_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        coll_model_free(m_model);
        EXPECT_EQ(coll_model_load(c.path.c_str(), m_model), c.result);
        EXPECT_EQ(m_model.triangles.size(), c.result == S_OK ? 12u : 0u);
        EXPECT_EQ(g_work_block.owner, nullptr);
    }
}

TEST_F(CollisionLoadTest, APackedFileFailsWhileTheWorkBlockIsLent)
{
    UnpackBuffer other;
    ASSERT_NE(unpack_load(other, vfs_find("map\\room.qco.z"), "map\\room.qco.z"), nullptr);
    EXPECT_EQ(coll_model_load("map\\room.qco.z", m_model), ERR_READ_FILE);
    unpack_release_buffer(other);
    EXPECT_EQ(coll_model_load("map\\room.qco.z", m_model), S_OK);
}

// ---- Queries ----------------------------------------------------------------------------------------

namespace {

struct PointCase {
    const char* name;
    Vec3 a, b;
    float radius;
    bool passes;
};

class CollisionQueryTest : public CollisionTest {
protected:
    // The unit box at the origin as a single leaf.
    void SetUp() override
    {
        CollisionTest::SetUp();
        parse(single_leaf({0, 0, 0}, {1, 1, 1}));
    }

    template <typename Query> void expect_cases(std::span<const PointCase> cases, const Query& query)
    {
        for (const PointCase& c : cases) {
            SCOPED_TRACE(c.name);
            g_coll_work_list.clear();
            query(c);
            EXPECT_EQ(g_coll_work_list.size(), c.passes ? 1u : 0u);
        }
    }
};

} // namespace

TEST_F(CollisionQueryTest, SweptPassesWhenAnEndLiesInTheBoxGrownByTheXRadius)
{
    const PointCase cases[] = {
        {"start inside", {0.5f, 0.5f, 0.5f}, {5, 5, 5}, 0.1f, true},
        {"end inside", {5, 5, 5}, {0.5f, 0.5f, 0.5f}, 0.1f, true},
        {"start on the grown face", {1.25f, 0.5f, 0.5f}, {5, 5, 5}, 0.25f, true},
        {"just beyond the grown face", {1.2501f, 0.5f, 0.5f}, {5, 5, 5}, 0.25f, false},
        {"below within the radius", {0.5f, -0.2f, 0.5f}, {0.5f, -5, 0.5f}, 0.25f, true},
        {"path through, ends outside", {-3, 0.5f, 0.5f}, {3, 0.5f, 0.5f}, 0.25f, false},
    };
    expect_cases(cases, [&](const PointCase& c) {
        coll_query_swept(root(), sweep_of(c.a, {c.b.x - c.a.x, c.b.y - c.a.y, c.b.z - c.a.z}), c.radius);
    });
}

TEST_F(CollisionQueryTest, SegmentPassesWhenItTouchesTheBox)
{
    const PointCase cases[] = {
        {"inside", {0.2f, 0.2f, 0.2f}, {0.3f, 0.3f, 0.3f}, 0, true},
        {"end on a face", {0.5f, 3, 0.5f}, {0.5f, 1, 0.5f}, 0, true},
        {"through along y", {0.5f, 3, 0.5f}, {0.5f, -3, 0.5f}, 0, true},
        {"through along z", {0.5f, 0.5f, -3}, {0.5f, 0.5f, 3}, 0, true},
        {"through along x backward", {3, 0.5f, 0.5f}, {-3, 0.5f, 0.5f}, 0, true},
        {"diagonally through", {-1, -1, -1}, {2, 2, 2}, 0, true},
        {"touching an edge exactly", {-1, 0, 0.5f}, {1, 2, 0.5f}, 0, true},
        {"crossing a face plane beside the box", {3, 0.5f, 5}, {-3, 0.5f, 5}, 0, false},
        {"stopping short", {3, 0.5f, 0.5f}, {1.5f, 0.5f, 0.5f}, 0, false},
        {"moving away", {1.5f, 0.5f, 0.5f}, {3, 0.5f, 0.5f}, 0, false},
        {"a point", {2, 2, 2}, {2, 2, 2}, 0, false},
    };
    expect_cases(cases, [&](const PointCase& c) {
        coll_query_segment(root(), sweep_of(c.a, {c.b.x - c.a.x, c.b.y - c.a.y, c.b.z - c.a.z}));
    });
}

TEST_F(CollisionQueryTest, SphereGrowsTheBoxByTheRadiusAboveAndThreeRadiiBelow)
{
    const PointCase cases[] = {
        {"above the top by r", {0.5f, 1.5f, 0.5f}, {0.5f, 1.5f, 0.5f}, 0.5f, true},
        {"above the top by more than r", {0.5f, 1.51f, 0.5f}, {0.5f, 1.51f, 0.5f}, 0.5f, false},
        {"below the bottom by 3r", {0.5f, -1.5f, 0.5f}, {0.5f, -1.5f, 0.5f}, 0.5f, true},
        {"below the bottom by more than 3r", {0.5f, -1.51f, 0.5f}, {0.5f, -1.51f, 0.5f}, 0.5f, false},
        {"beside by r on x", {1.5f, 0.5f, 0.5f}, {1.5f, 0.5f, 0.5f}, 0.5f, true},
        {"beside by more than r on z", {0.5f, 0.5f, -0.51f}, {0.5f, 0.5f, -0.51f}, 0.5f, false},
        {"segment through the grown box", {-5, 1.4f, 0.5f}, {5, 1.4f, 0.5f}, 0.5f, true},
        {"segment beside the grown box", {-5, 1.6f, 0.5f}, {5, 1.6f, 0.5f}, 0.5f, false},
    };
    expect_cases(cases, [&](const PointCase& c) { coll_query_sphere(root(), c.a, c.b, c.radius); });
}

TEST_F(CollisionModelTest, ALeafWithChildrenIsALeafAndEmptySlotsAreSkipped)
{
    struct Case {
        const char* name;
        std::vector<std::uint32_t> root_triangles;
        std::vector<QcoNode> children;
        std::vector<std::uint8_t> slots; // empty: the children fill the first slots
        int child_count;                 // -1: as many as the children
        std::vector<std::uint32_t> listed;
    };
    const Case cases[] = {
        {"a leaf's children are never visited", {0}, {leaf(1), leaf(2)}, {}, -1, {0}},
        {"slot 1 of three is empty", {}, {leaf(1), leaf(2)}, {0, 2}, 3, {1, 2}},
        {"a child beyond the count is never visited", {}, {leaf(1), leaf(3)}, {0, 5}, 2, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QcoImage image = single_leaf({0, 0, 0}, {4, 4, 4});
        image.triangles.resize(4, image.triangles[0]);
        image.root.triangles = c.root_triangles;
        image.root.children = c.children;
        image.root.slots = c.slots;
        image.root.child_count = c.child_count;
        parse(image);
        g_coll_work_list.clear();
        coll_query_sphere(root(), {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, 0.1f);
        EXPECT_EQ(listed(), c.listed);
    }
}

TEST_F(CollisionModelTest, ATriangleInSeveralLeavesIsListedOncePerLeaf)
{
    // One floor triangle across the whole box: every octant of the lower half holds it.
    QcoImage image;
    image.triangles = qco_quad({-2, 0, -2}, {-2, 0, 2}, {2, 0, 2}, {2, 0, -2});
    image.triangles.resize(1);
    image.root = qco_octree(image.triangles, 1, 0);
    parse(image);
    coll_query_segment(root(), sweep_of({-1, 0, -1}, {2, 0, 2}));
    std::vector<std::uint32_t> indices = listed();
    EXPECT_GE(indices.size(), 2u);
    EXPECT_TRUE(std::all_of(indices.begin(), indices.end(), [](std::uint32_t i) { return i == 0; }));

    g_coll_work_list.clear();
    coll_query_swept(nullptr, sweep_of({0, 0, 0}, {1, 0, 0}), 1);
    EXPECT_TRUE(g_coll_work_list.empty());
}

TEST_F(CollisionModelTest, TheWorkListGrowsPastItsStartSize)
{
    parse(single_leaf({0, 0, 0}, {1, 1, 1}));
    for (std::size_t i = 0; i < COLL_WORK_LIST_START + 10; ++i)
        coll_query_sphere(root(), {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, 0.1f);
    EXPECT_EQ(g_coll_work_list.size(), COLL_WORK_LIST_START + 10);
    EXPECT_EQ(g_coll_work_list.back().triangles[0], &m_model.triangles[0]);
}
