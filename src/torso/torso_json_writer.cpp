// The torso.json writer: the layout of examples/torso.json, each number in
// the shortest digits that read back to the same double.
#include <quorbel/torso/torso_json.hpp>

#include <charconv>
#include <cmath>

namespace quorbel {

// Named, as the core is compiled as one unit.
namespace torso_json_writer {
namespace {

class Writer {
public:
    // False once a number was NaN or infinite.
    bool ok() const { return ok_; }
    std::string take() { return std::move(text_); }

    void raw(const char* s) { text_.append(s); }

    void number(double value) {
        if (!std::isfinite(value)) {
            ok_ = false;
            return;
        }
        char buffer[32];
        // Without a format, to_chars gives the shortest text that reads back
        // to the same double (a sign of zero included).
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        text_.append(buffer, end);
    }

    void numbers(const double* values, int count) {
        raw("[");
        for (int k = 0; k < count; ++k) {
            if (k > 0) raw(", ");
            number(values[k]);
        }
        raw("]");
    }

    void vec3(Vec3 v) {
        const double values[3] = {v.x, v.y, v.z};
        numbers(values, 3);
    }

    void interval(const AngleInterval& i) {
        const double values[2] = {i.lower, i.upper};
        numbers(values, 2);
    }

    void mount(const Mount& m, const char* indent) {
        raw("{\n");
        raw(indent);
        raw("  \"rotation\": [");
        for (int i = 0; i < 3; ++i) {
            if (i > 0) raw(", ");
            numbers(m.rotation[i].data(), 3);
        }
        raw("],\n");
        raw(indent);
        raw("  \"offset\": ");
        vec3(m.offset);
        raw("\n");
        raw(indent);
        raw("}");
    }

    void arm(const char* name, const ArmDescription& a) {
        const SphericalLinkGeometry& g = a.geometry;
        raw("  \"");
        raw(name);
        raw("\": {\n    \"geometry\": {\"arm_arc\": ");
        number(g.arm_arc);
        raw(", \"coupler_arc\": ");
        number(g.coupler_arc);
        raw(", \"branch\": ");
        raw(g.branch == Branch::positive ? "\"positive\"" : "\"negative\"");
        raw(", \"mirror\": ");
        raw(g.mirror ? "true" : "false");
        raw("},\n    \"mount\": ");
        mount(a.mount, "    ");
        if (a.limits) {
            raw(",\n    \"limits\": {\"theta_a\": ");
            interval(a.limits->theta_a);
            raw(", \"theta_b\": ");
            interval(a.limits->theta_b);
            raw("}");
        }
        raw("\n  },\n");
    }

    void neck(const NeckDescription& n) {
        raw("  \"neck\": {\n    \"mount\": ");
        mount(n.mount, "    ");
        raw(",\n    \"gaze_axis\": ");
        vec3(n.gaze_axis);
        const std::pair<const char*, const std::optional<AngleInterval>*> limits[] = {
            {"yaw", &n.limits.yaw}, {"pitch", &n.limits.pitch}, {"roll", &n.limits.roll}};
        bool first = true;
        for (const auto& [name, interval_of] : limits) {
            if (!*interval_of) continue;
            raw(first ? ",\n    \"limits\": {\"" : ", \"");
            first = false;
            raw(name);
            raw("\": ");
            interval(**interval_of);
        }
        if (!first) raw("}");
        raw("\n  }\n");
    }

private:
    std::string text_;
    bool ok_ = true;
};

}  // namespace
}  // namespace torso_json_writer

std::optional<std::string> write_torso_json(const Torso& torso) {
    torso_json_writer::Writer writer;
    writer.raw("{\n  \"format\": \"quorbel-torso\",\n  \"version\": ");
    writer.raw(std::to_string(TORSO_JSON_VERSION).c_str());
    writer.raw(",\n");
    writer.arm("left_arm", torso.left_arm);
    writer.arm("right_arm", torso.right_arm);
    writer.neck(torso.neck);
    writer.raw("}\n");
    if (!writer.ok()) return std::nullopt;
    return writer.take();
}

}  // namespace quorbel
