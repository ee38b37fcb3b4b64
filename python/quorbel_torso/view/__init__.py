"""The torso in the browser: ``python -m quorbel_torso.view [torso.json]``.

``scene`` draws (pure functions over NumPy); ``app`` puts that into a viser
server with its controls; ``__main__`` is the command line. Only ``app`` and
``__main__`` need viser (``pip install 'quorbel_torso_kinematics[view]'``),
and nothing outside this subpackage imports it.
"""
