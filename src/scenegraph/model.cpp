#include "scenegraph/model.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_core.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

struct NodeImage {
    char names[5][MODEL_NAME_SIZE]; // self, first child, next sibling, parent, mesh
    std::uint8_t unread0[8];
    float local[16];
    float inverse_bind[16];
    float default_translation[3];
    float scale[3];
    float translation[3];
    float rotation[4];
    std::uint8_t unread1[12];
};
static_assert(sizeof(NodeImage) == 240);

struct MeshHeaderImage {
    float centre[3];
    float radius;
    float kept[6];
    std::uint8_t unread[24];
    std::uint32_t subset_count;
    std::uint32_t vertex_buffer_count;
    std::uint32_t index_buffer_count;
    std::uint32_t palette_size;
    std::uint32_t bones_per_vertex;
    std::uint32_t bone_count;
    char name[MODEL_NAME_SIZE];
};
static_assert(sizeof(MeshHeaderImage) == 96);

struct SubsetImage {
    std::uint32_t material;
    std::uint32_t first_triangle;
    std::uint32_t triangle_count;
    std::uint32_t lowest_vertex;
    std::uint32_t vertex_count;
    std::uint32_t palette_slot;
    std::uint8_t unread[8];
};
static_assert(sizeof(SubsetImage) == 32);

struct BufferDescImage {
    std::uint32_t buffer_slot;
    std::uint32_t count;
    std::uint32_t format; // FVF of a vertex buffer, index format of an index buffer
    std::uint32_t element_size;
    std::uint32_t unread0;
    std::uint32_t copy_slot;
    std::uint32_t centres_slot; // index buffers only
    std::uint32_t unread1;
};
static_assert(sizeof(BufferDescImage) == 32);

struct TrackImage {
    char node_name[MODEL_NAME_SIZE];
    std::uint32_t srt_count;
    std::uint32_t scale_count;
    std::uint32_t rotation_count;
    std::uint32_t translation_count;
    std::uint32_t matrix_count;
};
static_assert(sizeof(TrackImage) == 28);

struct PointImage {
    char node_name[MODEL_NAME_SIZE];
    std::uint32_t values[4];
    float weight;
    float radius;
    std::uint32_t value;
    std::uint8_t unread[16];
};
static_assert(sizeof(PointImage) == 52);

constexpr float THIRD = 1.0f / 3.0f;

// Thrown inside the parser only; model_parse turns it into the result code.
struct ParseFailure {
    HRESULT result;
};

void check(bool condition)
{
    if (!condition) throw ParseFailure{ERR_UNSUPPORTED_FORMAT};
}

template <typename T> void read(ByteReader& reader, T& out)
{
    check(reader.Read(out));
}

template <typename T> void read_array(ByteReader& reader, std::vector<T>& out, std::uint32_t count)
{
    check(reader.Has(count, sizeof(T)));
    out.resize(count);
    if (count > 0) reader.Read(out.data(), std::size_t{count} * sizeof(T));
}

bool name_equals(const char (&stored)[MODEL_NAME_SIZE], std::string_view name)
{
    std::size_t length = strnlen(stored, MODEL_NAME_SIZE);
    return name.size() == length && std::memcmp(stored, name.data(), length) == 0;
}

std::string_view name_of(const char (&stored)[MODEL_NAME_SIZE])
{
    return {stored, strnlen(stored, MODEL_NAME_SIZE)};
}

// Null for an empty name or one no node has.
ModelNode* resolve_node(Model& model, const char (&name)[MODEL_NAME_SIZE])
{
    return name[0] ? model_find_node(model, name_of(name)) : nullptr;
}

D3DXMATRIX matrix_of(const float (&m)[16])
{
    D3DXMATRIX out;
    std::memcpy(&out, m, sizeof m);
    return out;
}

D3DXVECTOR3 vec3_of(const float (&v)[3])
{
    return {v[0], v[1], v[2]};
}

void read_node(ByteReader& reader, ModelNode& node)
{
    NodeImage image;
    read(reader, image);
    std::memcpy(node.name, image.names[0], MODEL_NAME_SIZE);
    std::memcpy(node.child_name, image.names[1], MODEL_NAME_SIZE);
    std::memcpy(node.sibling_name, image.names[2], MODEL_NAME_SIZE);
    std::memcpy(node.parent_name, image.names[3], MODEL_NAME_SIZE);
    std::memcpy(node.mesh_name, image.names[4], MODEL_NAME_SIZE);
    ModelPose& pose = node.pose;
    D3DXMatrixIdentity(&pose.world);
    pose.local = matrix_of(image.local);
    node.inverse_bind = matrix_of(image.inverse_bind);
    node.default_translation = vec3_of(image.default_translation);
    pose.scale = pose.prev_scale = vec3_of(image.scale);
    pose.translation = pose.prev_translation = vec3_of(image.translation);
    pose.rotation = pose.prev_rotation =
        D3DXQUATERNION(image.rotation[0], image.rotation[1], image.rotation[2], image.rotation[3]);
    D3DXQuaternionIdentity(&node.extra_rotation);
    node.extra_weight = 0.0f;
    node.child = node.sibling = node.parent = nullptr;
    node.mesh = nullptr;
}

DWORD buffer_usage(const Model& model)
{
    DWORD usage = (model.load_flags & MODEL_LOAD_WRITE_ONLY) ? D3DUSAGE_WRITEONLY : 0;
    if (g_vp_software) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    return usage;
}

D3DPOOL buffer_pool()
{
    return g_vp_software ? D3DPOOL_SYSTEMMEM : D3DPOOL_MANAGED;
}

// Locks the whole buffer and copies the bytes in; a failed lock leaves the buffer as made.
template <typename Buffer> void fill_buffer(Buffer* buffer, std::span<const std::uint8_t> bytes)
{
    BYTE* out = nullptr;
    if (FAILED(buffer->Lock(0, static_cast<UINT>(bytes.size()), &out, 0)) || !out) return;
    std::memcpy(out, bytes.data(), bytes.size());
    buffer->Unlock();
}

// Reads one buffer's data, into the kept copy when the load flag asks for one, and fills the
// buffer `create` makes from it. The data is stepped over also when there is no buffer.
template <typename Buffer, typename Create>
void load_buffer(ByteReader& reader, const BufferDescImage& desc, bool keep, std::vector<std::uint8_t>& copy,
                 Buffer*& buffer, Create create)
{
    std::uint64_t size = std::uint64_t{desc.count} * desc.element_size;
    check(size <= UINT32_MAX && reader.Has(1, size));
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t>& target = keep ? copy : scratch;
    target.resize(static_cast<std::size_t>(size));
    reader.Read(target.data(), target.size());
    if (g_d3d_device && SUCCEEDED(create(static_cast<UINT>(size), &buffer)))
        fill_buffer(buffer, std::span(target));
}

void read_vertex_buffers(ByteReader& reader, Model& model, ModelMesh& mesh, std::uint32_t count)
{
    std::vector<BufferDescImage> descs;
    read_array(reader, descs, count);
    mesh.vertex_buffers.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const BufferDescImage& desc = descs[i];
        MeshVertexBuffer& vb = mesh.vertex_buffers[i];
        vb = {nullptr, desc.count, desc.format, desc.element_size, {}};
        // The format also selects the vertex shader when the mesh is drawn.
        check(((desc.format & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT) <= D3DDP_MAXTEXCOORD);
        if (desc.count == 0) continue;
        check(desc.element_size > 0);
        load_buffer(reader, desc, model.load_flags & MODEL_LOAD_KEEP_VERTICES, vb.copy, vb.buffer,
                    [&](UINT size, IDirect3DVertexBuffer8** out) {
                        return g_d3d_device->CreateVertexBuffer(size, buffer_usage(model), desc.format,
                                                                buffer_pool(), out);
                    });
    }
}

std::uint32_t index_at(const MeshIndexBuffer& ib, std::uint32_t i)
{
    const std::size_t at = std::size_t{ib.element_size} * i;
    if (ib.element_size == 2) {
        std::uint16_t v = 0;
        check(bytes_get_u16(ib.copy, at, v));
        return v;
    }
    std::uint32_t v = 0;
    check(bytes_get_u32(ib.copy, at, v));
    return v;
}

D3DXVECTOR3 vertex_position(const MeshVertexBuffer& vb, std::uint32_t index)
{
    const std::size_t at = std::size_t{index} * vb.stride;
    float p[3] = {};
    for (std::size_t k = 0; k < 3; ++k)
        check(bytes_get_f32(vb.copy, at + 4 * k, p[k]));
    return vec3_of(p);
}

// One centre per triangle from the kept copies; an index past the first vertex buffer fails.
void compute_centres(const ModelMesh& mesh, MeshIndexBuffer& ib)
{
    if (mesh.vertex_buffers.empty() || ib.copy.empty()) return;
    const MeshVertexBuffer& vb = mesh.vertex_buffers[0];
    if (vb.copy.empty()) return;
    check(vb.stride >= 3 * sizeof(float));
    ib.centres.resize(ib.count / 3);
    for (std::uint32_t t = 0; t < ib.centres.size(); ++t) {
        D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
        for (std::uint32_t k = 0; k < 3; ++k) {
            std::uint32_t index = index_at(ib, 3 * t + k);
            check(index < vb.count);
            sum += vertex_position(vb, index);
        }
        ib.centres[t] = sum * THIRD;
    }
}

void read_index_buffers(ByteReader& reader, Model& model, ModelMesh& mesh, std::uint32_t count)
{
    std::vector<BufferDescImage> descs;
    read_array(reader, descs, count);
    mesh.index_buffers.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const BufferDescImage& desc = descs[i];
        MeshIndexBuffer& ib = mesh.index_buffers[i];
        ib = {nullptr, desc.count, static_cast<D3DFORMAT>(desc.format), desc.element_size, {}, {}};
        if (desc.count == 0) continue;
        check(desc.element_size == 2 || desc.element_size == 4);
        load_buffer(reader, desc, model.load_flags & MODEL_LOAD_KEEP_INDICES, ib.copy, ib.buffer,
                    [&](UINT size, IDirect3DIndexBuffer8** out) {
                        return g_d3d_device->CreateIndexBuffer(size, buffer_usage(model), ib.format,
                                                               buffer_pool(), out);
                    });
        if (model.load_flags & MODEL_LOAD_CENTRES) compute_centres(mesh, ib);
    }
}

std::uint32_t format_code(const ModelMesh& mesh)
{
    if (mesh.skinned()) return MODEL_FORMAT_SKINNED;
    if (mesh.vertex_buffers.empty()) return 0;
    switch (mesh.vertex_buffers[0].fvf) {
    case 0x42:
        return 1;
    case 0x142:
        return 17;
    case 0x152:
        return 73;
    case 0x1C2:
        return 3;
    case 0x1D2:
        return 26;
    default:
        return 0;
    }
}

// Subset materials, palette bone indices and triangle ranges must lie inside what the model holds.
void validate_subsets(const Model& model, const ModelMesh& mesh)
{
    std::uint64_t index_count = mesh.index_buffers.empty() ? 0 : mesh.index_buffers[0].count;
    for (const MeshSubset& subset : mesh.subsets) {
        check(model.materials.empty() || subset.material < model.materials.size());
        if (!mesh.index_buffers.empty())
            check(3 * (std::uint64_t{subset.first_triangle} + subset.triangle_count) <= index_count);
    }
    for (std::int32_t bone : mesh.palettes)
        check(bone == -1 || (bone >= 0 && static_cast<std::uint32_t>(bone) < mesh.bones.size()));
}

void read_mesh(ByteReader& reader, Model& model, ModelMesh& mesh)
{
    MeshHeaderImage header;
    read(reader, header);
    mesh.centre = vec3_of(header.centre);
    mesh.radius = header.radius;
    std::memcpy(mesh.kept, header.kept, sizeof mesh.kept);
    mesh.palette_size = header.palette_size;
    mesh.bones_per_vertex = header.bones_per_vertex;
    std::memcpy(mesh.name, header.name, MODEL_NAME_SIZE);
    mesh.alpha_factor = 1.0f;
    if (header.bone_count > 0)
        check(header.bones_per_vertex >= 1 && header.bones_per_vertex <= MODEL_MAX_BONES_PER_VERTEX);

    check(reader.Has(header.bone_count, MODEL_NAME_SIZE));
    mesh.bones.resize(header.bone_count);
    for (ModelNode*& bone : mesh.bones) {
        char name[MODEL_NAME_SIZE];
        reader.Read(name, sizeof name);
        bone = resolve_node(model, name);
    }

    check(reader.Has(header.subset_count, sizeof(SubsetImage) + 4 * std::uint64_t{header.palette_size}));
    mesh.subsets.resize(header.subset_count);
    mesh.palettes.resize(std::size_t{header.subset_count} * header.palette_size);
    for (std::uint32_t i = 0; i < header.subset_count; ++i) {
        SubsetImage image;
        reader.Read(image);
        std::int32_t* palette = mesh.palettes.data() + std::size_t{i} * header.palette_size;
        reader.Read(palette, 4 * std::size_t{header.palette_size});
        mesh.subsets[i] = {image.material,      image.first_triangle, image.triangle_count,
                           image.lowest_vertex, image.vertex_count,   palette};
    }
    read_vertex_buffers(reader, model, mesh, header.vertex_buffer_count);
    read_index_buffers(reader, model, mesh, header.index_buffer_count);
    mesh.format = format_code(mesh);
    validate_subsets(model, mesh);
}

void read_track(ByteReader& reader, Model& model, ModelTrack& track)
{
    TrackImage image;
    read(reader, image);
    std::memcpy(track.node_name, image.node_name, MODEL_NAME_SIZE);
    track.node = resolve_node(model, image.node_name);
    if (image.matrix_count > 0) {
        read_array(reader, track.matrix, image.matrix_count);
    } else if (image.srt_count > 0) {
        read_array(reader, track.srt, image.srt_count);
    } else {
        read_array(reader, track.scale, image.scale_count);
        read_array(reader, track.rotation, image.rotation_count);
        read_array(reader, track.translation, image.translation_count);
    }
}

void read_point(ByteReader& reader, Model& model, ModelPoint& point)
{
    PointImage image;
    read(reader, image);
    std::memcpy(point.node_name, image.node_name, MODEL_NAME_SIZE);
    std::memcpy(point.values, image.values, sizeof point.values);
    point.weight = image.weight;
    point.radius = image.radius;
    point.value = image.value;
    point.position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    point.node = resolve_node(model, image.node_name);
}

ModelMesh* resolve_mesh(Model& model, const char (&name)[MODEL_NAME_SIZE])
{
    return name[0] ? model_find_mesh(model, name_of(name)) : nullptr;
}

// Callers walk first children and next siblings from any node, recursing into children: each
// node may be linked to once, no chain of links may close on itself, and no child chain may run
// deeper than that recursion allows.
void check_tree_links(const Model& model)
{
    const ModelNode* first = model.nodes.data();
    auto index_of = [first](const ModelNode* node) { return static_cast<std::size_t>(node - first); };
    std::vector<std::uint8_t> linked(model.nodes.size());
    for (const ModelNode& node : model.nodes)
        for (const ModelNode* target : {node.child, node.sibling})
            if (target) check(++linked[index_of(target)] == 1);
    std::vector<bool> seen(model.nodes.size());
    std::vector<std::pair<const ModelNode*, int>> pending;
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        if (linked[i]) continue;
        pending.push_back({&model.nodes[i], 0});
        while (!pending.empty()) {
            auto [node, depth] = pending.back();
            pending.pop_back();
            check(depth <= MODEL_MAX_TREE_DEPTH);
            seen[index_of(node)] = true;
            if (node->child) pending.push_back({node->child, depth + 1});
            if (node->sibling) pending.push_back({node->sibling, depth});
        }
    }
    // A node no unlinked node leads to lies on a closed chain.
    check(std::find(seen.begin(), seen.end(), false) == seen.end());
}

void link_nodes(Model& model)
{
    for (ModelNode& node : model.nodes) {
        node.child = resolve_node(model, node.child_name);
        node.sibling = resolve_node(model, node.sibling_name);
        node.parent = resolve_node(model, node.parent_name);
        node.mesh = resolve_mesh(model, node.mesh_name);
    }
    check_tree_links(model);
}

// Keys of the one layout the track holds.
std::size_t key_count(const ModelTrack& track)
{
    return std::max({track.matrix.size(), track.srt.size(), track.scale.size(), track.rotation.size(),
                     track.translation.size()});
}

// A range lies within the keys of the longest track, so that the animation's frame numbers are
// keys that exist; a range of length 0 plays one key.
void check_ranges(const Model& model)
{
    std::uint64_t keys = 0;
    for (const ModelTrack& track : model.tracks)
        keys = std::max<std::uint64_t>(keys, key_count(track));
    for (const ModelRange& range : model.ranges) {
        check(std::uint64_t{range.start} + std::max(range.length, 1u) <= keys);
        check(range.next == MODEL_RANGE_HOLD || range.next == MODEL_RANGE_LOOP ||
              (range.next >= 0 && static_cast<std::size_t>(range.next) < model.ranges.size()));
    }
}

void parse_body(Model& model, ByteReader& reader)
{
    const ModelHeader& header = model.header;
    read_array(reader, model.ranges, header.range_count);
    read_array(reader, model.materials, header.material_count);
    model.textures.assign(model.materials.size() * MODEL_TEXTURES, nullptr);

    check(reader.Has(header.node_count, sizeof(NodeImage)));
    model.nodes.resize(header.node_count);
    for (ModelNode& node : model.nodes)
        read_node(reader, node);

    check(reader.Has(header.mesh_count, sizeof(MeshHeaderImage)));
    model.meshes.resize(header.mesh_count);
    for (ModelMesh& mesh : model.meshes)
        read_mesh(reader, model, mesh);

    check(reader.Has(header.track_count, sizeof(TrackImage)));
    model.tracks.resize(header.track_count);
    for (ModelTrack& track : model.tracks)
        read_track(reader, model, track);

    check(reader.Has(header.point_count, sizeof(PointImage)));
    model.points.resize(header.point_count);
    for (ModelPoint& point : model.points)
        read_point(reader, model, point);

    if (header.flags & 1) read(reader, model.extra);
    check_ranges(model);
    link_nodes(model);
    model.fade = 1.0f;
}

template <typename Buffer> void release(Buffer*& buffer)
{
    if (buffer) buffer->Release();
    buffer = nullptr;
}

// The folder of a path, up to and including its last separator.
std::string_view folder_of(std::string_view path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

} // namespace

HRESULT model_parse(Model& model, std::span<const std::uint8_t> data, std::uint8_t keep_mode,
                    std::uint32_t load_flags)
{
    model_free(model);
    model.keep_mode = keep_mode;
    model.load_flags = load_flags;
    ByteReader reader(data);
    if (!reader.Read(model.header)) return ERR_UNSUPPORTED_FORMAT;
    if (std::memcmp(model.header.magic, "QMO", 4) != 0) return ERR_UNKNOWN_FORMAT;
    if (model.header.version != QMO_VERSION) return ERR_UNMATCHED_VERSION;
    try {
        parse_body(model, reader);
    } catch (const ParseFailure& failure) {
        model_free(model);
        return failure.result;
    }
    return S_OK;
}

void model_bind_textures(Model& model, std::size_t material, std::string_view folder)
{
    const ModelMaterial& record = model.materials[material];
    for (int slot = 0; slot < MODEL_TEXTURES; ++slot) {
        const char* stored = record.texture_names[slot];
        std::string_view name(stored, strnlen(stored, sizeof record.texture_names[slot]));
        if (name.empty()) continue;
        if (name.front() != '.') {
            std::size_t backslash = name.find_last_of('\\');
            if (backslash != std::string_view::npos) name.remove_prefix(backslash + 1);
        }
        std::string path(folder);
        path += name;
        const ResrcLoadParams params{.texture = {0, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED}};
        ResourceHandle handle = ResrcMgr::Load(path.c_str(), params, RESRC_POOL_TEXTURE, model.keep_mode);
        if (handle == 0 || (handle & RESRC_HANDLE_POOL_MASK) != 0) continue;
        if (const ResourceRecord* texture = ResrcMgr::Get(handle))
            model.textures[material * MODEL_TEXTURES + static_cast<std::size_t>(slot)] = texture->texture();
    }
}

HRESULT model_load_file(Model& model, const char* path, std::uint8_t keep_mode, std::uint32_t load_flags)
{
    HRESULT result;
    {
        DataFile file;
        result = file.Load(path);
        if (FAILED(result)) return result;
        result = model_parse(model, file.Bytes(), keep_mode, load_flags);
        // The work block goes back before the textures, which may need it for their own unpacking.
    }
    if (FAILED(result)) return result;
    std::string_view folder = folder_of(path);
    for (std::size_t i = 0; i < model.materials.size(); ++i)
        model_bind_textures(model, i, folder);
    return result;
}

HRESULT model_load_resource(ResourceRecord& record, const ResrcLoadParams& params)
{
    auto model = std::make_unique<Model>();
    std::string packed = record.name + ".z";
    const std::string& path = vfs_find(packed.c_str()) ? packed : record.name;
    HRESULT result = model_load_file(*model, path.c_str(), record.keep_mode, params.model_flags);
    if (FAILED(result)) {
        model_free(*model);
        return result;
    }
    record.object = model.release();
    return result;
}

void model_destroy_resource(ResourceRecord& record)
{
    auto* model = static_cast<Model*>(record.object);
    if (!model) return;
    model_free(*model);
    delete model;
    record.object = nullptr;
}

void model_register_loader()
{
    resrc_set_loader(RESRC_POOL_MODEL, {model_load_resource, model_destroy_resource});
}

void model_free(Model& model)
{
    for (IDirect3DTexture8* texture : model.textures)
        if (texture) ResrcMgr::Release(RESRC_POOL_TEXTURE, texture);
    for (ModelMesh& mesh : model.meshes) {
        for (MeshVertexBuffer& vb : mesh.vertex_buffers)
            release(vb.buffer);
        for (MeshIndexBuffer& ib : mesh.index_buffers)
            release(ib.buffer);
    }
    model.~Model();
    new (&model) Model{};
}

ModelNode* model_find_node(Model& model, std::string_view name)
{
    auto it = std::find_if(model.nodes.begin(), model.nodes.end(),
                           [&](const ModelNode& node) { return name_equals(node.name, name); });
    return it == model.nodes.end() ? nullptr : &*it;
}

ModelMesh* model_find_mesh(Model& model, std::string_view name)
{
    auto it = std::find_if(model.meshes.begin(), model.meshes.end(),
                           [&](const ModelMesh& mesh) { return name_equals(mesh.name, name); });
    return it == model.meshes.end() ? nullptr : &*it;
}

const D3DXMATRIX* model_find_node_matrix(Model& model, std::string_view name)
{
    const ModelNode* node = model_find_node(model, name);
    return node ? &node->pose.world : nullptr;
}

void model_set_material_flag(Model& model)
{
    for (ModelMaterial& material : model.materials)
        material.word |= MODEL_MATERIAL_FLAG;
}
