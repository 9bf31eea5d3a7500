// A small RTSP server for the tests: serves the test scene camera's picture, or what a
// pipeline part given instead of the size makes of JPEG frames, as Motion
// JPEG over RTP (a part that ends in its own payloader pay0, such as a
// file's H.264 through rtph264pay, is served as it is) at
// rtsp://127.0.0.1:PORT/scene (PORT 0: a free one), to anyone or, given
// USER:PASSWORD, only to that user (basic authentication), and prints the
// port once it listens. It ends when its standard input closes.

#include "SceneSource.h"

#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
gboolean onInputClosed(GIOChannel*, GIOCondition, gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer size) {
    GstElementPtr bin(gst_rtsp_media_get_element(media));
    GstElementPtr appsrc(gst_bin_get_by_name_recurse_up(GST_BIN(bin.get()), "scene"));
    if (!appsrc)
        return;
    const int* wh = static_cast<const int*>(size);
    auto scene = std::make_shared<SceneSource>(wh[0], wh[1], 10, TestScene::Schedule{}, false,
                                               SceneSource::Unplug{});
    gst_app_src_set_caps(GST_APP_SRC(appsrc.get()), scene->caps().get());
    SceneSource::attach(scene, GST_APP_SRC(appsrc.get()));
}
} // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: rtsp_server PORT [WIDTHxHEIGHT | JPEG-SOURCE] [USER:PASSWORD]\n");
        return 2;
    }
    int size[2] = {352, 288};
    const bool ownSource = argc > 2 && std::sscanf(argv[2], "%dx%d", &size[0], &size[1]) != 2;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GstRTSPServer* server = gst_rtsp_server_new();
    g_object_set(server, "address", "127.0.0.1", "service", argv[1], nullptr);
    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    const bool ownPayloader = ownSource && std::strstr(argv[2], "name=pay0") != nullptr;
    gchar* launch =
        ownPayloader ? g_strdup_printf("( %s )", argv[2])
        : ownSource
            ? g_strdup_printf("( %s ! rtpjpegpay name=pay0 pt=96 )", argv[2])
            : g_strdup("( appsrc name=scene is-live=true format=time ! videoconvert "
                       "! video/x-raw,format=I420 ! jpegenc ! rtpjpegpay name=pay0 pt=96 )");
    gst_rtsp_media_factory_set_launch(factory, launch);
    g_free(launch);
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    g_signal_connect(factory, "media-configure", G_CALLBACK(onMediaConfigure), size);
    if (argc > 3 && std::strchr(argv[3], ':') != nullptr) {
        // Without a default token, a request without these credentials gets 401.
        const std::string login(argv[3]);
        const std::size_t colon = login.find(':');
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "viewer", nullptr);
        gchar* basic = gst_rtsp_auth_make_basic(login.substr(0, colon).c_str(),
                                                login.substr(colon + 1).c_str());
        gst_rtsp_auth_add_basic(auth, basic, token);
        g_free(basic);
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server, auth);
        g_object_unref(auth);
        GstRTSPPermissions* permissions = gst_rtsp_permissions_new();
        gst_rtsp_permissions_add_role(permissions, "viewer", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                      G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                      G_TYPE_BOOLEAN, TRUE, nullptr);
        gst_rtsp_media_factory_set_permissions(factory, permissions);
        gst_rtsp_permissions_unref(permissions);
    }
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, "/scene", factory);
    g_object_unref(mounts);
    if (gst_rtsp_server_attach(server, nullptr) == 0) {
        std::fprintf(stderr, "rtsp_server: cannot listen on port %s\n", argv[1]);
        return 1;
    }
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), onInputClosed, loop);
    std::printf("%d\n", gst_rtsp_server_get_bound_port(server));
    std::fflush(stdout);
    g_main_loop_run(loop);
    g_io_channel_unref(input);
    g_object_unref(server);
    g_main_loop_unref(loop);
    return 0;
}
