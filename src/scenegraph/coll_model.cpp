#include "scenegraph/coll_model.h"

#include "core/errors.h"
#include "scenegraph/data_file.h"

#include <cstring>

std::vector<CollisionList> g_coll_work_list;

namespace {

struct HeaderImage {
    char magic[4];
    std::uint32_t version;
    std::uint32_t triangle_count;
    std::uint32_t kept[4];
};
static_assert(sizeof(HeaderImage) == 28);

struct NodeImage {
    Vec3 min, max;
    std::uint32_t triangle_count;
    std::uint32_t list_slot;
    std::uint8_t unread[6];
    std::uint8_t child_count;
    std::uint8_t unread2;
    std::uint32_t child_slots[COLL_MAX_CHILDREN];
};
static_assert(sizeof(NodeImage) == 72);

constexpr std::uint32_t NO_CHILD = 0xFFFFFFFF;

// Nodes are read into the model's arrays first and linked once both have their final size.
struct NodeLinks {
    std::size_t list_offset;
    std::uint32_t children[COLL_MAX_CHILDREN];
};

class TreeReader {
public:
    TreeReader(ByteReader& reader, CollisionModel& model) : m_reader(reader), m_model(model) {}

    bool ReadNode(int depth, std::uint32_t& index)
    {
        NodeImage image;
        if (depth > COLL_MAX_TREE_DEPTH || !m_reader.Read(image)) return false;
        if (image.child_count > COLL_MAX_CHILDREN) return false;
        if (!m_reader.Has(image.triangle_count, sizeof(std::uint32_t))) return false;

        index = static_cast<std::uint32_t>(m_model.nodes.size());
        m_model.nodes.push_back(
            {{image.min, image.max}, image.triangle_count, nullptr, image.child_count, {}});
        NodeLinks links{m_model.lists.size(), {}};
        std::fill(std::begin(links.children), std::end(links.children), NO_CHILD);
        if (!ReadTriangleList(image.triangle_count)) return false;
        // The file holds a child for every non-zero slot, wherever it stands.
        for (std::uint32_t slot = 0; slot < COLL_MAX_CHILDREN; ++slot)
            if (image.child_slots[slot] != 0 && !ReadNode(depth + 1, links.children[slot])) return false;
        m_links.resize(m_model.nodes.size());
        m_links[index] = links;
        return true;
    }

    void Link()
    {
        for (std::size_t i = 0; i < m_model.nodes.size(); ++i) {
            CollisionNode& node = m_model.nodes[i];
            if (node.triangle_count > 0) node.triangles = m_model.lists.data() + m_links[i].list_offset;
            for (std::uint32_t slot = 0; slot < COLL_MAX_CHILDREN; ++slot) {
                std::uint32_t child = m_links[i].children[slot];
                node.children[slot] = child == NO_CHILD ? nullptr : &m_model.nodes[child];
            }
        }
        m_model.tree.root = &m_model.nodes.front();
    }

private:
    bool ReadTriangleList(std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t triangle;
            m_reader.Read(triangle);
            if (triangle >= m_model.triangles.size()) return false;
            m_model.lists.push_back(&m_model.triangles[triangle]);
        }
        return true;
    }

    ByteReader& m_reader;
    CollisionModel& m_model;
    std::vector<NodeLinks> m_links;
};

HRESULT parse(CollisionModel& model, ByteReader& reader)
{
    HeaderImage header;
    if (!reader.Read(header)) return ERR_UNSUPPORTED_FORMAT;
    if (std::memcmp(header.magic, "QCO", 4) != 0) return ERR_UNKNOWN_FORMAT;
    if (header.version != COLL_VERSION) return ERR_UNMATCHED_VERSION;
    if (!reader.Has(header.triangle_count, sizeof(CollisionTriangle))) return ERR_UNSUPPORTED_FORMAT;
    model.triangles.resize(header.triangle_count);
    reader.Read(model.triangles.data(), model.triangles.size() * sizeof(CollisionTriangle));
    std::memcpy(model.tree.kept, header.kept, sizeof header.kept);

    TreeReader tree(reader, model);
    std::uint32_t root;
    if (!tree.ReadNode(0, root)) return ERR_UNSUPPORTED_FORMAT;
    tree.Link();
    return S_OK;
}

template <typename Test> void walk(const CollisionNode& node, const Test& passes)
{
    if (!passes(node.box)) return;
    if (node.triangle_count > 0) {
        g_coll_work_list.push_back({node.triangles, node.triangle_count});
        return;
    }
    for (std::uint32_t slot = 0; slot < node.child_count; ++slot)
        if (const CollisionNode* child = node.children[slot]) walk(*child, passes);
}

float axis(const Vec3& v, int i)
{
    return i == 0 ? v.x : i == 1 ? v.y : v.z;
}

bool inside(const Box3& box, const Vec3& p)
{
    return p.x >= box.min.x && p.x <= box.max.x && p.y >= box.min.y && p.y <= box.max.y && p.z >= box.min.z &&
           p.z <= box.max.z;
}

// Called once neither end lies in the box: a segment that passes through the box leaves it
// through a face it moves toward, so one face per axis suffices.
bool segment_crosses(const Box3& box, const Vec3& s, const Vec3& e)
{
    const Vec3 delta{e.x - s.x, e.y - s.y, e.z - s.z};
    for (int a : {1, 2, 0}) {
        float d = axis(delta, a);
        if (d == 0) continue;
        float plane = d > 0 ? axis(box.max, a) : axis(box.min, a);
        if ((axis(s, a) - plane) * (axis(e, a) - plane) >= 0) continue;
        float t = (plane - axis(s, a)) / d;
        const Vec3 c{s.x + delta.x * t, s.y + delta.y * t, s.z + delta.z * t};
        int b = (a + 1) % 3, k = (a + 2) % 3;
        if (axis(c, b) >= axis(box.min, b) && axis(c, b) <= axis(box.max, b) &&
            axis(c, k) >= axis(box.min, k) && axis(c, k) <= axis(box.max, k))
            return true;
    }
    return false;
}

Box3 grown(const Box3& box, float side, float top, float bottom)
{
    return {{box.min.x - side, box.min.y - bottom, box.min.z - side},
            {box.max.x + side, box.max.y + top, box.max.z + side}};
}

Vec3 end_point(const SweepRecord& sweep)
{
    return {sweep.position.x + sweep.motion.x, sweep.position.y + sweep.motion.y,
            sweep.position.z + sweep.motion.z};
}

} // namespace

void coll_sweep_set(SweepRecord& sweep, const Vec3& position, const Vec3& motion)
{
    sweep = {position, motion, {}, 0, false, false};
}

const Vec3& coll_sweep_direction(SweepRecord& sweep)
{
    if (!sweep.direction_valid) {
        vec3_normalize(sweep.direction, sweep.motion);
        sweep.direction_valid = true;
    }
    return sweep.direction;
}

float coll_sweep_length(SweepRecord& sweep)
{
    if (!sweep.length_valid) {
        sweep.length = vec3_length(sweep.motion);
        sweep.length_valid = true;
    }
    return sweep.length;
}

HRESULT coll_model_load(const char* path, CollisionModel& model)
{
    DataFile file;
    HRESULT result = file.Load(path);
    if (FAILED(result)) return result;
    return coll_model_parse(model, file.Bytes());
}

HRESULT coll_model_parse(CollisionModel& model, std::span<const std::uint8_t> data)
{
    coll_model_free(model);
    model.type_tag = COLL_MODEL_TAG;
    ByteReader reader(data);
    HRESULT result = parse(model, reader);
    if (FAILED(result)) coll_model_free(model);
    return result;
}

void coll_model_free(CollisionModel& model)
{
    model.tree = {};
    model.nodes = {};
    model.lists = {};
    model.triangles = {};
}

void coll_query_swept(const CollisionNode* root, const SweepRecord& sweep, float radius_x)
{
    if (!root) return;
    const Vec3 end = end_point(sweep);
    walk(*root, [&](const Box3& box) {
        Box3 wide = grown(box, radius_x, radius_x, radius_x);
        return inside(wide, sweep.position) || inside(wide, end);
    });
}

void coll_query_segment(const CollisionNode* root, const SweepRecord& segment)
{
    if (!root) return;
    const Vec3 end = end_point(segment);
    walk(*root, [&](const Box3& box) {
        return inside(box, segment.position) || inside(box, end) ||
               segment_crosses(box, segment.position, end);
    });
}

void coll_query_sphere(const CollisionNode* root, const Vec3& a, const Vec3& b, float radius)
{
    if (!root) return;
    walk(*root, [&](const Box3& box) {
        Box3 wide = grown(box, radius, radius, 3 * radius);
        return inside(wide, a) || inside(wide, b) || segment_crosses(wide, a, b);
    });
}
