// The map viewer: a tile pyramid in the deep-zoom library, the cell grid, the cell under
// the pointer, and the view in the address fragment: #x=<cell x>&y=<cell y>&z=<zoom>, cells
// in hexadecimal as the placement trace writes them, zoom in screen pixels per map pixel.
(function () {
  'use strict';
  const map = atlas_map;
  const cell_width = map.width / map.cells_across;
  const cell_height = map.height / map.cells_down;
  const hex = (n) => n.toString(16).toUpperCase().padStart(2, '0');

  const viewer = OpenSeadragon({
    id: 'view',
    drawer: 'canvas',               // tiles from file:// cannot go into WebGL textures
    showNavigationControl: false,
    imageSmoothingEnabled: false,
    maxZoomPixelRatio: 64,          // at least 16 screen pixels per map pixel on any display
    visibilityRatio: 0.2,
    preserveImageSizeOnResize: true,  // a resized window keeps the zoom of the address
    animationTime: 0.4,
    tileSources: {
      width: map.width, height: map.height, tileSize: map.tile_size, tileOverlap: 0,
      minLevel: map.bottom_level, maxLevel: map.top_level,
      getTileUrl: (level, x, y) => map.tiles + '/' + level + '/' + x + '_' + y + '.' + map.extension,
    },
  });
  window.atlas_viewer = viewer;
  const viewport = () => viewer.viewport;
  const point = (x, y) => new OpenSeadragon.Point(x, y);

  // Screen pixels per map pixel.
  const map_zoom = () => viewport().viewportToImageZoom(viewport().getZoom(true));

  // Sharp pixels when zoomed in, smooth ones when zoomed out.
  let smooth = false;
  function set_smoothing() {
    const wanted = map_zoom() < 1;
    if (wanted !== smooth) {
      smooth = wanted;
      viewer.drawer.setImageSmoothingEnabled(smooth);
    }
  }

  function read_fragment() {
    const fields = new URLSearchParams(location.hash.slice(1));
    const x = parseInt(fields.get('x'), 16), y = parseInt(fields.get('y'), 16), z = parseFloat(fields.get('z'));
    return Number.isFinite(x) && Number.isFinite(y) ? { x, y, z: z > 0 ? z : 4 } : null;
  }

  function show_fragment(view) {
    viewport().zoomTo(viewport().imageToViewportZoom(view.z), null, true);
    viewport().panTo(viewport().imageToViewportCoordinates((view.x + 0.5) * cell_width, (view.y + 0.5) * cell_height), true);
  }

  // The cell at the centre and the zoom, into the address and the links to other maps.
  function write_fragment() {
    const centre = viewport().viewportToImageCoordinates(viewport().getCenter(true));
    const x = Math.min(Math.max(Math.floor(centre.x / cell_width), 0), map.cells_across - 1);
    const y = Math.min(Math.max(Math.floor(centre.y / cell_height), 0), map.cells_down - 1);
    const fragment = '#x=' + hex(x) + '&y=' + hex(y) + '&z=' + Number(map_zoom().toPrecision(3));
    history.replaceState(null, '', fragment);
    for (const link of document.querySelectorAll('a.keep-view')) link.hash = fragment;
  }

  // The grid: every cell line when cells are at least 6 screen pixels, every eighth line
  // always, labelled in hexadecimal along the top and left edges.
  const grid = document.createElement('canvas');
  grid.className = 'grid';
  grid.hidden = true;
  viewer.element.appendChild(grid);

  function draw_grid() {
    if (grid.hidden) return;
    const ratio = window.devicePixelRatio || 1;
    const width = viewer.element.clientWidth, height = viewer.element.clientHeight;
    grid.width = Math.round(width * ratio);
    grid.height = Math.round(height * ratio);
    const g = grid.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    const origin = viewport().imageToViewerElementCoordinates(point(0, 0));
    const zoom = map_zoom();
    const step_x = cell_width * zoom, step_y = cell_height * zoom;
    const first_x = Math.max(0, Math.floor(-origin.x / step_x)), last_x = Math.min(map.cells_across, Math.ceil((width - origin.x) / step_x));
    const first_y = Math.max(0, Math.floor(-origin.y / step_y)), last_y = Math.min(map.cells_down, Math.ceil((height - origin.y) / step_y));
    const top = Math.max(origin.y, 0), bottom = Math.min(origin.y + map.height * zoom, height);
    const left = Math.max(origin.x, 0), right = Math.min(origin.x + map.width * zoom, width);
    const lines = (every, style) => {
      g.beginPath();
      for (let i = first_x; i <= last_x; ++i)
        if (i % every === 0) { const x = Math.round(origin.x + i * step_x) + 0.5; g.moveTo(x, top); g.lineTo(x, bottom); }
      for (let i = first_y; i <= last_y; ++i)
        if (i % every === 0) { const y = Math.round(origin.y + i * step_y) + 0.5; g.moveTo(left, y); g.lineTo(right, y); }
      g.strokeStyle = style;
      g.stroke();
    };
    if (Math.min(step_x, step_y) >= 6) lines(1, 'rgba(255,255,255,0.35)');
    if (Math.min(step_x, step_y) * 8 >= 6) lines(8, 'rgba(255,255,0,0.9)');
    g.font = '12px monospace';
    g.textBaseline = 'top';
    const label = (text, x, y) => {
      g.fillStyle = 'rgba(0,0,0,0.7)';
      g.fillRect(x, y, g.measureText(text).width + 4, 15);
      g.fillStyle = '#ff0';
      g.fillText(text, x + 2, y + 1);
    };
    if (Math.min(step_x, step_y) * 8 < 20) return;
    for (let i = first_x - first_x % 8; i < last_x; i += 8)
      if (i >= first_x) label(hex(i), origin.x + i * step_x + 2, top + 2);
    for (let i = first_y - first_y % 8; i < last_y; i += 8)
      if (i >= first_y && i > 0) label(hex(i), left + 2, origin.y + i * step_y + 2);
  }

  function toggle_grid() {
    grid.hidden = !grid.hidden;
    document.getElementById('grid').classList.toggle('on', !grid.hidden);
    draw_grid();
  }
  document.getElementById('grid').addEventListener('click', toggle_grid);
  document.addEventListener('keydown', (event) => {
    if ((event.key === 'g' || event.key === 'G') && !event.ctrlKey && !event.metaKey && !event.altKey) toggle_grid();
  });

  // The cell under the pointer, as the trace writes it, and the map pixel.
  const cell_text = document.getElementById('cell'), pixel_text = document.getElementById('pixel');
  new OpenSeadragon.MouseTracker({
    element: viewer.element,
    moveHandler: (event) => {
      const p = viewport().viewerElementToImageCoordinates(event.position);
      const px = Math.floor(p.x), py = Math.floor(p.y);
      const inside = px >= 0 && py >= 0 && px < map.width && py < map.height;
      cell_text.textContent = inside ? '(' + hex(Math.floor(px / cell_width)) + ',' + hex(Math.floor(py / cell_height)) + ')' : '';
      pixel_text.textContent = inside ? 'pixel ' + px + ',' + py : '';
    },
  });

  viewer.addHandler('open', () => {
    const view = read_fragment();
    if (view) show_fragment(view);
    set_smoothing();
    document.body.dataset.ready = '1';
  });
  viewer.addHandler('update-viewport', draw_grid);
  viewer.addHandler('zoom', set_smoothing);
  viewer.addHandler('animation-finish', write_fragment);
  window.addEventListener('hashchange', () => { const view = read_fragment(); if (view) show_fragment(view); });
})();
