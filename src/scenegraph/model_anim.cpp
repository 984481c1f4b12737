#include "scenegraph/model.h"

#include "lowlv/d3d/renderer_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The keys lo and hi around the time within [first, last] and the fraction between them; the
// time is clamped to key hi. False for a track without keys of this kind.
struct KeySpan {
    std::size_t lo, hi;
    float frac;
};

template <typename Key>
bool find_keys(const std::vector<Key>& keys, std::uint32_t first, std::uint32_t last, float time,
               KeySpan& out)
{
    if (keys.empty()) return false;
    std::size_t end = keys.size() - 1;
    std::size_t lo = std::min<std::size_t>(first, end);
    std::size_t hi = std::min<std::size_t>(last, end);
    if (lo >= hi) {
        out = {lo, lo, 0.0f};
        return true;
    }
    while (lo + 1 != hi) {
        std::size_t mid = (lo + hi) / 2;
        if (keys[mid].time > time)
            hi = mid;
        else
            lo = mid;
    }
    time = std::min(time, keys[hi].time);
    float span = keys[hi].time - keys[lo].time;
    out = {lo, hi, span > 0.0f ? (time - keys[lo].time) / span : 0.0f};
    return true;
}

D3DXVECTOR3 lerp(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float t)
{
    D3DXVECTOR3 out;
    D3DXVec3Lerp(&out, &a, &b, t);
    return out;
}

D3DXQUATERNION slerp(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float t)
{
    D3DXQUATERNION out;
    D3DXQuaternionSlerp(&out, &a, &b, t);
    return out;
}

// The keys hold the rotation with the opposite handedness of what the matrices take.
D3DXQUATERNION key_rotation(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float t)
{
    D3DXQUATERNION q = slerp(a, b, t);
    q.w = -q.w;
    return q;
}

struct SampledSrt {
    bool has_scale, has_rotation;
    D3DXVECTOR3 scale;
    D3DXQUATERNION rotation;
    D3DXVECTOR3 translation;
};

bool sample_srt(const ModelTrack& track, std::uint32_t first, std::uint32_t last, float time, SampledSrt& out)
{
    KeySpan k;
    if (!find_keys(track.srt, first, last, time, k)) return false;
    const SrtKey& a = track.srt[k.lo];
    const SrtKey& b = track.srt[k.hi];
    out = {true, true, lerp(a.scale, b.scale, k.frac), key_rotation(a.rotation, b.rotation, k.frac),
           lerp(a.translation, b.translation, k.frac)};
    return true;
}

// A kind without keys: scale 1, no rotation, the node's default translation.
bool sample_separate(const ModelTrack& track, const ModelNode& node, std::uint32_t first, std::uint32_t last,
                     float time, SampledSrt& out)
{
    if (track.scale.empty() && track.rotation.empty() && track.translation.empty()) return false;
    out = {false, false, D3DXVECTOR3(1.0f, 1.0f, 1.0f), {}, node.default_translation};
    D3DXQuaternionIdentity(&out.rotation);
    KeySpan k;
    if (find_keys(track.scale, first, last, time, k)) {
        out.has_scale = true;
        out.scale = lerp(track.scale[k.lo].value, track.scale[k.hi].value, k.frac);
    }
    if (find_keys(track.rotation, first, last, time, k)) {
        out.has_rotation = true;
        out.rotation = key_rotation(track.rotation[k.lo].value, track.rotation[k.hi].value, k.frac);
    }
    if (find_keys(track.translation, first, last, time, k))
        out.translation = lerp(track.translation[k.lo].value, track.translation[k.hi].value, k.frac);
    return true;
}

void pose_node(ModelNode& node, SampledSrt& s, float weight)
{
    ModelPose& pose = node.pose;
    if (weight != 0.0f) {
        s.scale = s.scale + (pose.prev_scale - s.scale) * weight;
        s.translation = s.translation + (pose.prev_translation - s.translation) * weight;
        if (s.has_rotation) s.rotation = slerp(s.rotation, pose.prev_rotation, weight);
    }
    D3DXMATRIX m;
    D3DXMatrixScaling(&pose.local, s.scale.x, s.scale.y, s.scale.z);
    if (s.has_rotation) {
        if (node.extra_weight != 0.0f) {
            D3DXQUATERNION identity;
            D3DXQuaternionIdentity(&identity);
            D3DXQUATERNION extra = slerp(identity, node.extra_rotation, node.extra_weight);
            D3DXQuaternionMultiply(&s.rotation, &s.rotation, &extra);
        }
        D3DXMatrixRotationQuaternion(&m, &s.rotation);
        pose.local *= m;
    }
    D3DXMatrixTranslation(&m, s.translation.x, s.translation.y, s.translation.z);
    pose.local *= m;
    pose.scale = s.scale;
    pose.rotation = s.rotation;
    pose.translation = s.translation;
}

void sample_track(const ModelTrack& track, std::uint32_t first, std::uint32_t last, float time, float weight)
{
    ModelNode& node = *track.node;
    KeySpan k;
    if (find_keys(track.matrix, first, last, time, k)) {
        node.pose.local = track.matrix[k.frac > 0.5f ? k.hi : k.lo].matrix;
        return;
    }
    SampledSrt sampled;
    if (sample_srt(track, first, last, time, sampled) ||
        sample_separate(track, node, first, last, time, sampled))
        pose_node(node, sampled, weight);
}

// World matrices depth-first: children under their parent in the walk, siblings beside it.
void pose_children(ModelNode* node, const D3DXMATRIX& parent_world)
{
    for (; node; node = node->sibling) {
        D3DXMatrixMultiply(&node->pose.world, &node->pose.local, &parent_world);
        pose_children(node->child, node->pose.world);
    }
}

bool playing_forward(const ModelInstance& instance)
{
    return instance.range_end > instance.range_start;
}

void animate_materials(ModelInstance& instance, float ticks)
{
    for (ModelMaterial& material : instance.materials) {
        if (!(material.bits & MODEL_MAT_UV_ANIM)) continue;
        for (int j = 0; j < 4; ++j) {
            auto& channel = material.channels[j];
            const auto& constants = material.constants[j];
            channel.base += ticks * constants.rate;
            material.values[j] = channel.base;
            if (constants.amplitude != 0.0f) {
                channel.phase += ticks * constants.frequency;
                material.values[j] += constants.amplitude * std::sin(channel.phase);
            }
        }
    }
}

// Frame numbers from the instance's float times, which callers may set freely: a time below 0
// (or NaN) is frame 0, one past the 32-bit range the last frame.
std::uint32_t frame_at(float time)
{
    if (!(time > 0.0f)) return 0;
    if (time >= 4294967296.0f) return UINT32_MAX;
    return static_cast<std::uint32_t>(time);
}

} // namespace

void model_instance_init(ModelInstance& instance, Model& model, std::uint32_t flags)
{
    model_instance_free(instance);
    instance.model = &model;
    instance.flags = flags;
    if (flags & MODEL_INST_RANGES) instance.ranges = model.ranges;
    if (flags & MODEL_INST_POSES) instance.poses.resize(model.nodes.size());
    if (flags & MODEL_INST_POINTS) instance.points.resize(model.points.size());
    if (flags & MODEL_INST_MATERIALS) instance.materials = model.materials;
}

void model_instance_free(ModelInstance& instance)
{
    instance = ModelInstance{};
    D3DXMatrixIdentity(&instance.model_to_world);
}

std::uint32_t model_anim_play(ModelInstance& instance, std::uint32_t range, bool blend,
                              std::uint32_t start_offset, std::uint32_t end_offset)
{
    if (range >= instance.ranges.size()) return 0;
    const ModelRange& r = instance.ranges[range];
    instance.state &= ~MODEL_STATE_ENDED;
    instance.range = range;
    if (blend) {
        model_save_prev_pose(*instance.model);
        instance.state |= MODEL_STATE_BLENDING;
        instance.blend_weight = 1.0f;
    }
    std::uint64_t s = r.start;
    std::uint64_t e = std::max<std::uint64_t>(s + r.length, s + 1) - 1;
    std::uint64_t t0 = std::min(s + start_offset > UINT32_MAX ? s : s + start_offset, e);
    std::uint64_t stop = e;
    if (end_offset != MODEL_END_OFFSET_NONE) stop = std::clamp(s + end_offset, t0, e);
    instance.range_start = static_cast<float>(s);
    instance.range_end = static_cast<float>(e);
    instance.time = static_cast<float>(t0);
    instance.stop_time = static_cast<float>(stop);
    return r.start;
}

void model_anim_set_time(ModelInstance& instance, float time)
{
    float low = std::min(instance.range_start, instance.range_end);
    float high = std::max(instance.range_start, instance.range_end);
    instance.time = std::clamp(time, low, high);
}

void model_anim_advance(ModelInstance& instance, float ticks)
{
    if (instance.range < instance.ranges.size()) {
        const ModelRange& range = instance.ranges[instance.range];
        bool ended;
        if (playing_forward(instance)) {
            instance.time += ticks * range.speed;
            ended = instance.time >= instance.stop_time;
        } else {
            instance.time -= ticks * range.speed;
            ended = instance.time <= instance.stop_time;
        }
        if (ended) {
            instance.state |= MODEL_STATE_ENDED;
            if (range.next == MODEL_RANGE_HOLD)
                instance.time = instance.stop_time;
            else if (range.next == MODEL_RANGE_LOOP)
                instance.time = playing_forward(instance) ? instance.range_start : instance.range_end;
            else
                model_anim_play(instance, static_cast<std::uint32_t>(range.next), false, 0,
                                MODEL_END_OFFSET_NONE);
        }
        if (instance.state & MODEL_STATE_BLENDING) {
            instance.blend_weight -= ticks * instance.ranges[instance.range].blend_rate;
            if (instance.blend_weight <= 0.0f) {
                instance.blend_weight = 0.0f;
                instance.state &= ~MODEL_STATE_BLENDING;
            }
        }
    }
    animate_materials(instance, ticks);
}

void model_instance_update(ModelInstance& instance, const D3DXMATRIX& model_to_world,
                           const D3DXMATRIX& root_local)
{
    Model& model = *instance.model;
    // A range set up end below start spans the same keys.
    float low = std::min(instance.range_start, instance.range_end);
    float high = std::max(instance.range_start, instance.range_end);
    std::uint32_t span = frame_at(high - low);
    std::uint32_t frames = span == UINT32_MAX ? span : span + 1;
    model_apply_animation(model, frames, frame_at(low), instance.time, instance.blend_weight, model_to_world,
                          root_local);
    if (instance.flags & MODEL_INST_POSES) {
        instance.transform = model.transform;
        for (std::size_t i = 0; i < instance.poses.size(); ++i)
            instance.poses[i] = model.nodes[i].pose;
    }
    if (instance.flags & MODEL_INST_POINTS) {
        model_update_points(model);
        for (std::size_t i = 0; i < instance.points.size(); ++i)
            instance.points[i] = model.points[i].position;
    }
    if (instance.flags & MODEL_INST_MATERIALS)
        std::copy(instance.materials.begin(), instance.materials.end(), model.materials.begin());
}

void model_save_prev_pose(Model& model)
{
    for (ModelNode& node : model.nodes) {
        node.pose.prev_scale = node.pose.scale;
        node.pose.prev_translation = node.pose.translation;
        node.pose.prev_rotation = node.pose.rotation;
    }
}

void model_apply_animation(Model& model, std::uint32_t frame_count, std::uint32_t first_frame, float time,
                           float blend_weight, const D3DXMATRIX& model_to_world, const D3DXMATRIX& root_local)
{
    // Key indices are clamped to each track's keys, so a last frame past the 32-bit range is the end.
    std::uint64_t end = std::uint64_t{first_frame} + std::max(frame_count, 1u) - 1;
    auto last = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, UINT32_MAX));
    for (const ModelTrack& track : model.tracks)
        if (track.node) sample_track(track, first_frame, last, time, blend_weight);
    model.transform = model_to_world;
    if (model.nodes.empty()) return;
    ModelNode& root = model.nodes.front();
    root.pose.local = root_local;
    D3DXMatrixMultiply(&root.pose.world, &root_local, &model_to_world);
    pose_children(root.child, root.pose.world);
}

void model_update_points(Model& model)
{
    for (ModelPoint& point : model.points) {
        if (point.radius <= 0.0f || !point.node) continue;
        const ModelNode& node = *point.node;
        point.position = matrix_position(node.pose.world);
        if (point.weight == 0.0f) continue;
        const ModelNode* neighbour;
        float k;
        if (point.weight > 0.0f) {
            neighbour = node.child ? node.child : node.parent;
            k = node.child ? point.weight : -point.weight;
        } else {
            neighbour = node.parent ? node.parent : node.child;
            k = node.parent ? -point.weight : point.weight;
        }
        if (!neighbour) continue;
        point.position += (matrix_position(neighbour->pose.world) - point.position) * k;
    }
}
