#include "filter/source/gst/pad_task.h"

namespace halvik {

PadOutput::~PadOutput() { Reset(); }

void PadOutput::Reset() {
  GstBufferPool* old;
  {
    std::lock_guard lock(mutex_);
    old = pool_;
    pool_ = nullptr;
  }
  if (old) {
    gst_buffer_pool_set_active(old, FALSE);
    gst_object_unref(old);
  }
  if (caps_) {
    gst_caps_unref(caps_);
    caps_ = nullptr;
  }
  started_ = false;
}

bool PadOutput::Negotiate(GstCaps* caps, size_t size, int count) {
  if (!started_) {
    gchar* id = gst_pad_create_stream_id(pad_, GST_PAD_PARENT(pad_), GST_PAD_NAME(pad_));
    GstEvent* ev = gst_event_new_stream_start(id);
    gst_event_set_group_id(ev, 1);
    g_free(id);
    gst_pad_push_event(pad_, ev);
  }
  if (!gst_pad_push_event(pad_, gst_event_new_caps(caps))) return false;
  if (!started_) {
    GstSegment seg;
    gst_segment_init(&seg, GST_FORMAT_TIME);
    gst_pad_push_event(pad_, gst_event_new_segment(&seg));
    started_ = true;
  }
  GstBufferPool* pool = gst_buffer_pool_new();
  GstStructure* config = gst_buffer_pool_get_config(pool);
  gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(size), count, count);
  gst_buffer_pool_set_config(pool, config);
  if (!gst_buffer_pool_set_active(pool, TRUE)) {
    gst_object_unref(pool);
    return false;
  }
  GstBufferPool* old;
  {
    std::lock_guard lock(mutex_);
    old = pool_;
    pool_ = pool;
    if (flushing_) gst_buffer_pool_set_flushing(pool_, TRUE);
  }
  if (old) {
    gst_buffer_pool_set_active(old, FALSE);
    gst_object_unref(old);
  }
  gst_caps_replace(&caps_, caps);
  return true;
}

GstBuffer* PadOutput::Acquire() {
  GstBufferPool* pool;
  {
    std::lock_guard lock(mutex_);
    if (!pool_ || flushing_) return nullptr;
    pool = GST_BUFFER_POOL(gst_object_ref(pool_));
  }
  GstBuffer* buf = nullptr;
  const GstFlowReturn rc = gst_buffer_pool_acquire_buffer(pool, &buf, nullptr);
  gst_object_unref(pool);
  return rc == GST_FLOW_OK ? buf : nullptr;
}

void PadOutput::SetFlushing(bool flushing) {
  std::lock_guard lock(mutex_);
  flushing_ = flushing;
  if (pool_) gst_buffer_pool_set_flushing(pool_, flushing);
}

}  // namespace halvik
